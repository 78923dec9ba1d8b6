// File-system facilities the system needs besides streams.
#pragma once

#include <string>

namespace riffo {

std::string ToNativePath(const std::u16string& fileName);  // UTF-8 path for the OS

bool FileExists(const std::u16string& fileName);   // a regular file (not a folder)
bool RemoveFile(const std::u16string& fileName);  // true when the file is gone

// The folder of the running program, ending in "/".
std::u16string ProgramFolder();

}  // namespace riffo
