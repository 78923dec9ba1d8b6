// File-system facilities the system needs besides streams.
#pragma once

#include <string>
#include <string_view>

namespace riffo {

// File names cross to and from the OS losslessly: a name that is not valid
// UTF-8 keeps its undecodable bytes as lone surrogates (see Utf16FromNative),
// so FromNativePath then ToNativePath gives back the very same bytes.
std::string ToNativePath(const std::u16string& fileName);
std::u16string FromNativePath(std::string_view nativeName);

bool FileExists(const std::u16string& fileName);  // a regular file (not a folder)
bool RemoveFile(const std::u16string& fileName);  // true when the file is gone

// The folder of the running program, ending in "/".
std::u16string ProgramFolder();

}  // namespace riffo
