// The viewer's command line: the file argument as the session opens it.
#pragma once

#include <string>
#include <string_view>

namespace riffo {

// The file name a command-line argument denotes. A file manager's "Open
// With" passes a file:// URI (local: no host, or "localhost"); its path is
// percent-decoded to the bytes of the name, so spaces, UTF-8 and bytes that
// are no UTF-8 at all (%FF) all name the file they stand for. Anything else,
// and a URI that names no local file, is taken as a file name as given.
// Names come back in the form the file functions take (Utf16FromNative).
std::u16string FileNameFromArgument(std::string_view argument);

}  // namespace riffo
