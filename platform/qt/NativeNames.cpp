#include "platform/qt/NativeNames.h"

#include <dirent.h>
#include <strings.h>

#include <QByteArray>
#include <QFile>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/Files.h"
#include "platform/Text.h"

namespace riffo {
namespace {

constexpr char kFileScheme[] = "file://";

struct TDirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

// The entries of a folder (native bytes) that the toolkit shows as shown.
std::vector<std::string> EntriesShownAs(const std::string& folder, const QString& shown) {
  std::vector<std::string> found;
  std::unique_ptr<DIR, TDirCloser> dir(::opendir(folder.empty() ? "." : folder.c_str()));
  if (!dir) return found;
  while (const dirent* entry = ::readdir(dir.get())) {
    const char* name = entry->d_name;
    if (QFile::decodeName(QByteArray(name)) == shown) found.emplace_back(name);
  }
  return found;
}

}  // namespace

std::u16string NameFromArgument(const char* argument) {
  if (argument == nullptr) return {};
  if (::strncasecmp(argument, kFileScheme, std::strlen(kFileScheme)) == 0) {
    const QUrl url = QUrl::fromEncoded(QByteArray(argument));
    if (url.isValid() && url.isLocalFile()) {
      // A URI that names no file is kept as given, so that the open says so.
      if (std::u16string name = NameFromLocalUrl(url); !name.empty()) return name;
    }
  }
  return FromNativePath(argument);
}

std::u16string NameFromLocalUrl(const QUrl& url) {
  if (!url.isLocalFile()) return {};
  // The fully encoded path keeps the escapes of bytes that are not UTF-8,
  // which the decoded forms would replace.
  const QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
  // An escaped NUL would cut the name short where the system reads it, and
  // another file than the one the URL names would be opened.
  if (bytes.contains('\0')) return {};
  return FromNativePath(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
}

std::u16string NameFromToolkit(const QString& name) {
  if (!name.contains(QChar(0xFFFD))) return name.toStdU16String();
  // Rebuilt part by part: the parts before stand for real folders.
  std::string path;
  const QStringList parts = name.split(QLatin1Char('/'));
  for (qsizetype i = 0; i < parts.size(); ++i) {
    if (i > 0) path += '/';
    const QString& part = parts[i];
    if (part.contains(QChar(0xFFFD))) {
      const std::vector<std::string> matches = EntriesShownAs(path, part);
      if (matches.size() == 1) {
        path += matches.front();
        continue;
      }
    }
    path += ToNativePath(part.toStdU16String());
  }
  return FromNativePath(path);
}

QUrl LocalFileUrl(const std::u16string& name) {
  const std::string native = ToNativePath(name);
  const QByteArray path =
      QByteArray(native.data(), static_cast<qsizetype>(native.size())).toPercentEncoding("/");
  return QUrl::fromEncoded(QByteArray(kFileScheme) + path);
}

QString ShownText(std::u16string_view text) { return QString::fromStdString(Utf16ToUtf8(text)); }

}  // namespace riffo
