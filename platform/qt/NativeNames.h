// File names between the toolkit and the platform layer. Linux names are
// bytes; the platform layer carries the bytes that are not UTF-8 as escapes
// (see Utf16FromNative), but the toolkit decodes names itself and turns each
// such byte into U+FFFD, after which the file cannot be found again. Names
// therefore enter the windows through these functions, and are shown (where
// an escape would be an unpaired surrogate) through ShownText.
#pragma once

#include <QString>
#include <QUrl>
#include <string>
#include <string_view>

namespace riffo {

// A program argument: a file name as given, or a file:// URI (as file
// managers pass one), whose percent-escapes are taken as the name's bytes.
std::u16string NameFromArgument(const char* argument);

// The local file a URL denotes (a drop, a URI argument), its bytes taken from
// the URL's percent-escapes; empty when the URL is not a local file or its
// path holds an escaped NUL byte.
std::u16string NameFromLocalUrl(const QUrl& url);

// A name the toolkit read from the file system (a file dialog's choice).
// Where a part of the path holds U+FFFD, the folder is searched for the one
// entry that the toolkit shows that way, and its true name is taken; a part
// that matches no entry, or several, stays as it is.
std::u16string NameFromToolkit(const QString& name);

// The URL of a local file, with every byte of its name kept.
QUrl LocalFileUrl(const std::u16string& name);

// Text for the screen: an escaped byte shows as U+FFFD.
QString ShownText(std::u16string_view text);

}  // namespace riffo
