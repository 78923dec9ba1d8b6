#include "platform/UserStore.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/FileDescriptor.h"
#include "platform/Guard.h"
#include "platform/OutputFile.h"
#include "platform/Text.h"

namespace riffo {
namespace {

constexpr std::string_view kRootName = "HKEY_CURRENT_USER";
constexpr std::string_view kHeaderLine = "Windows Registry Editor Version 5.00";

// ------------------------------------------------------------ names

// Key paths and value names compare as the registry compares them: without
// regard to case. The folding covers the scripts a setting name or a key
// path plausibly uses (Latin, Greek, Cyrillic).
char16_t FoldCase(char16_t c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 0x20) : c;
  if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) return static_cast<char16_t>(c - 0x20);
  if (c == 0xFF) return 0x178;
  if (c >= 0x100 && c <= 0x17F) {
    // Latin Extended-A pairs upper/lower as even/odd, except in two runs
    // (0x139..0x148 and 0x179..0x17E) where the upper case is odd.
    const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
    if (oddUpper) return (c % 2 == 0) ? static_cast<char16_t>(c - 1) : c;
    return (c % 2 == 1) ? static_cast<char16_t>(c - 1) : c;
  }
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return static_cast<char16_t>(c - 0x20);
  if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 0x20);
  if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
  return c;
}

std::atomic<uint64_t> gNameFoldings{0};

std::u16string Folded(std::u16string_view text) {
  gNameFoldings.fetch_add(1, std::memory_order_relaxed);
  std::u16string out(text);
  for (auto& c : out) c = FoldCase(c);
  return out;
}

bool SameName(std::u16string_view a, std::u16string_view b) {
  gNameFoldings.fetch_add(1, std::memory_order_relaxed);
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  return true;
}

// "SOFTWARE\\X\\Y\\" and "\\SOFTWARE\\\\X\\Y" name the same key: empty
// path components (leading, doubled or trailing backslashes) are dropped.
std::u16string NormaliseKeyPath(std::u16string_view path) {
  std::u16string out;
  size_t i = 0;
  while (i < path.size()) {
    while (i < path.size() && path[i] == u'\\') ++i;
    const size_t start = i;
    while (i < path.size() && path[i] != u'\\') ++i;
    if (i > start) {
      if (!out.empty()) out.push_back(u'\\');
      out.append(path.substr(start, i - start));
    }
  }
  return out;
}

// ------------------------------------------------------------ the file model

struct Entry {
  bool IsValue = false;
  std::u16string Name;  // value name ("" for the default value "@")
  std::string Rhs;      // the right-hand side as written, UTF-8
  std::string RawLine;  // a comment line, kept as it is
};

struct Section {
  std::string Header;  // the text between the brackets, as written
  std::vector<Entry> Entries;
  // Entry index of each value by its case-folded name, so that finding a
  // value costs the same however many the key holds.
  std::unordered_map<std::u16string, size_t> ValueIndex;

  Entry* FindValue(const std::u16string& name) {
    const auto it = ValueIndex.find(Folded(name));
    return it == ValueIndex.end() ? nullptr : &Entries[it->second];
  }
  const Entry* FindValue(const std::u16string& name) const {
    const auto it = ValueIndex.find(Folded(name));
    return it == ValueIndex.end() ? nullptr : &Entries[it->second];
  }
  // Sets the value: a later line (or write) for a name replaces the earlier.
  void SetValue(const std::u16string& name, std::string rhs) {
    if (Entry* entry = FindValue(name)) {
      entry->Rhs = std::move(rhs);
      return;
    }
    ValueIndex.emplace(Folded(name), Entries.size());
    Entries.push_back(Entry{true, name, std::move(rhs), {}});
  }
};

struct StoreFile {
  std::vector<Section> Sections;
};

std::string_view TrimRight(std::string_view line) {
  size_t end = line.size();
  while (end > 0 && (line[end - 1] == ' ' || line[end - 1] == '\t' || line[end - 1] == '\r')) --end;
  return line.substr(0, end);
}

std::string_view TrimLeft(std::string_view line) {
  size_t start = 0;
  while (start < line.size() && (line[start] == ' ' || line[start] == '\t')) ++start;
  return line.substr(start);
}

// Reads a quoted text with the format's two escapes (\\ and \") starting at
// text[pos] == '"'. Returns false when the quote is not closed or another
// escape appears; pos is then left behind the closing quote.
bool ReadQuoted(std::string_view text, size_t& pos, std::string& out) {
  if (pos >= text.size() || text[pos] != '"') return false;
  ++pos;
  out.clear();
  while (pos < text.size()) {
    const char c = text[pos++];
    if (c == '"') return true;
    if (c == '\\') {
      if (pos >= text.size()) return false;
      const char next = text[pos++];
      if (next != '\\' && next != '"') return false;
      out.push_back(next);
    } else {
      out.push_back(c);
    }
  }
  return false;
}

std::string Quote(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char a = text[i];
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a + 32);
    if (a != prefix[i]) return false;
  }
  return true;
}

// "hex(N):aa,bb,..." as bytes; false when the list is not a clean byte list.
bool ParseHexBytes(std::string_view list, std::vector<uint8_t>& bytes) {
  bytes.clear();
  size_t i = 0;
  while (i < list.size()) {
    while (i < list.size() && (list[i] == ' ' || list[i] == '\t')) ++i;
    if (i >= list.size()) break;
    if (i + 1 >= list.size()) return false;
    const int hi = HexDigit(list[i]);
    const int lo = HexDigit(list[i + 1]);
    if (hi < 0 || lo < 0) return false;
    bytes.push_back(static_cast<uint8_t>(hi * 16 + lo));
    i += 2;
    while (i < list.size() && (list[i] == ' ' || list[i] == '\t')) ++i;
    if (i < list.size()) {
      if (list[i] != ',') return false;
      ++i;
    }
  }
  return true;
}

// The typed meaning of a right-hand side. Anything this store does not write
// itself (binary, expandable or multi-string data, malformed numbers) is
// Other: kept as written, and "not a 32-bit integer value" for readers.
TUserStoreKey::Value DecodeRhs(std::string_view rhs) {
  TUserStoreKey::Value value;
  value.Type = StoreValueType::Other;
  value.Text = Utf8ToUtf16(rhs);
  if (!rhs.empty() && rhs[0] == '"') {
    size_t pos = 0;
    std::string text;
    if (ReadQuoted(rhs, pos, text) && TrimLeft(rhs.substr(pos)).empty()) {
      value.Type = StoreValueType::String;
      value.Text = Utf8ToUtf16(text);
    }
    return value;
  }
  if (StartsWithNoCase(rhs, "dword:")) {
    const std::string_view digits = rhs.substr(6);
    if (digits.empty() || digits.size() > 8) return value;
    uint32_t number = 0;
    for (const char c : digits) {
      const int d = HexDigit(c);
      if (d < 0) return value;
      number = number * 16 + static_cast<uint32_t>(d);
    }
    value.Type = StoreValueType::DWord;
    value.DWord = number;
    value.Text.clear();
    return value;
  }
  std::vector<uint8_t> bytes;
  if (StartsWithNoCase(rhs, "hex(4):") && ParseHexBytes(rhs.substr(7), bytes) &&
      bytes.size() == 4) {
    value.Type = StoreValueType::DWord;
    value.DWord = static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
                  (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
    value.Text.clear();
    return value;
  }
  // A string holding line breaks or other control characters cannot stand
  // between quotes on one line; the format writes it as UTF-16LE bytes.
  if (StartsWithNoCase(rhs, "hex(1):") && ParseHexBytes(rhs.substr(7), bytes) &&
      bytes.size() % 2 == 0) {
    std::u16string text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
      text.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
    while (!text.empty() && text.back() == u'\0') text.pop_back();
    value.Type = StoreValueType::String;
    value.Text = std::move(text);
  }
  return value;
}

std::string EncodeRhs(const TUserStoreKey::Value& value) {
  switch (value.Type) {
    case StoreValueType::DWord: return Format8("dword:%08x", value.DWord);
    case StoreValueType::String: {
      // A surrogate without its partner (a file name's undecodable byte, see
      // Utf16FromNative) has no UTF-8 form either: such text goes as UTF-16
      // too, so that it reads back exactly.
      bool plain = true;
      const std::u16string& t = value.Text;
      for (size_t i = 0; i < t.size() && plain; ++i) {
        const bool high = t[i] >= 0xD800 && t[i] <= 0xDBFF;
        if (high && i + 1 < t.size() && t[i + 1] >= 0xDC00 && t[i + 1] <= 0xDFFF) {
          ++i;
          continue;
        }
        plain = t[i] >= 0x20 && t[i] != 0x7F && !(t[i] >= 0xD800 && t[i] <= 0xDFFF);
      }
      if (plain) return Quote(Utf16ToUtf8(value.Text));
      std::string out = "hex(1):";
      std::u16string text = value.Text;
      text.push_back(u'\0');
      for (size_t i = 0; i < text.size(); ++i) {
        if (i > 0) out += ",";
        out += Format8("%02x,%02x", text[i] & 0xFF, (text[i] >> 8) & 0xFF);
      }
      return out;
    }
    default: return Utf16ToUtf8(value.Text);
  }
}

// Section header "HKEY_CURRENT_USER\\a\\b" to the key path "a\\b" below the
// root; empty when the section belongs to another root.
std::u16string KeyPathOfHeader(std::string_view header) {
  const std::u16string full = Utf8ToUtf16(header);
  const std::u16string root = Utf8ToUtf16(kRootName);
  if (full.size() < root.size() ||
      !SameName(std::u16string_view(full).substr(0, root.size()), root))
    return {};
  if (full.size() > root.size() && full[root.size()] != u'\\') return {};
  return NormaliseKeyPath(std::u16string_view(full).substr(root.size()));
}

// Parses the store text. False when the text is not a store file: then the
// caller reads it as empty and keeps it aside before writing.
bool ParseStore(std::string_view text, StoreFile& store) {
  store.Sections.clear();
  if (!IsValidUtf8(reinterpret_cast<const uint8_t*>(text.data()), text.size())) return false;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t end = text.find('\n', start);
    if (end == std::string_view::npos) {
      if (start < text.size()) lines.push_back(TrimRight(text.substr(start)));
      break;
    }
    lines.push_back(TrimRight(text.substr(start, end - start)));
    start = end + 1;
  }
  // Section index by case-folded header; sections live in a vector that
  // grows, so they are kept by position.
  std::unordered_map<std::u16string, size_t> sectionIndex;
  Section* current = nullptr;
  bool headerSeen = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string_view line = TrimLeft(lines[i]);
    if (line.empty()) continue;
    if (line[0] == ';') {
      if (current != nullptr) current->Entries.push_back(Entry{false, {}, {}, std::string(line)});
      continue;
    }
    if (!headerSeen && current == nullptr && (line == kHeaderLine || line == "REGEDIT4")) {
      headerSeen = true;
      continue;
    }
    if (line[0] == '[') {
      if (line.back() != ']' || line.size() < 3) return false;
      const std::string header(line.substr(1, line.size() - 2));
      const auto [it, added] =
          sectionIndex.emplace(Folded(Utf8ToUtf16(header)), store.Sections.size());
      if (added) store.Sections.push_back(Section{header, {}, {}});
      current = &store.Sections[it->second];
      continue;
    }
    if (current == nullptr) return false;  // a value outside any key
    std::u16string name;
    size_t pos = 0;
    if (line[0] == '@') {
      pos = 1;
    } else {
      std::string quoted;
      if (!ReadQuoted(line, pos, quoted)) return false;
      name = Utf8ToUtf16(quoted);
    }
    const std::string_view afterName = TrimLeft(std::string_view(line).substr(pos));
    if (afterName.empty() || afterName[0] != '=') return false;
    std::string rhs(TrimLeft(afterName.substr(1)));
    // Binary data runs on over lines that end in a backslash.
    while (!rhs.empty() && rhs.back() == '\\' && rhs[0] != '"' && i + 1 < lines.size()) {
      rhs.pop_back();
      rhs += TrimLeft(lines[++i]);
    }
    if (rhs.empty()) return false;
    current->SetValue(name, std::move(rhs));
  }
  return true;
}

std::string RenderStore(const StoreFile& store) {
  std::string out(kHeaderLine);
  out += "\n";
  for (const auto& section : store.Sections) {
    out += "\n[" + section.Header + "]\n";
    for (const auto& entry : section.Entries) {
      if (!entry.IsValue) {
        out += entry.RawLine + "\n";
        continue;
      }
      out += entry.Name.empty() ? std::string("@") : Quote(Utf16ToUtf8(entry.Name));
      out += "=" + entry.Rhs + "\n";
    }
  }
  return out;
}

template <typename TStore>
auto FindSection(TStore& store, std::u16string_view keyPath) -> decltype(&store.Sections[0]) {
  for (auto& section : store.Sections)
    if (SameName(KeyPathOfHeader(section.Header), keyPath)) return &section;
  return nullptr;
}

// ------------------------------------------------------------ files

std::string ConfigHome() {
  // Only an absolute XDG_CONFIG_HOME counts; a relative one is to be ignored.
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') return xdg;
  const char* home = std::getenv("HOME");
  std::string base = (home != nullptr && home[0] != '\0') ? home : "";
  if (base.empty()) {
    if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir != nullptr)
      base = entry->pw_dir;
  }
  if (base.empty()) base = "/tmp";
  return base + "/.config";
}

bool MakeFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string part = path.substr(0, slash);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) break;
  }
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string FolderOf(const std::string& path) { return path.substr(0, path.rfind('/')); }

// The whole file, or whether it is missing, unreadable or beyond the cap.
enum class ReadResult { Ok, Missing, Failed, TooLarge, Unchanged };

// What tells one version of the store file from another: every write of
// the store renames a new file (another inode) into place, and any other
// writer changes the size or the times.
struct TFileIdentity {
  dev_t Device = 0;
  ino_t Inode = 0;
  off_t Size = 0;
  timespec Modified{}, Changed{};
  bool operator==(const TFileIdentity& other) const {
    return Device == other.Device && Inode == other.Inode && Size == other.Size &&
           Modified.tv_sec == other.Modified.tv_sec && Modified.tv_nsec == other.Modified.tv_nsec &&
           Changed.tv_sec == other.Changed.tv_sec && Changed.tv_nsec == other.Changed.tv_nsec;
  }
};

TFileIdentity IdentityOf(const struct stat& info) {
  return {info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim};
}

// Reads the whole file into out, unless its identity is `known` (Unchanged:
// nothing is read); `identity` receives the identity of what was read.
ReadResult ReadWholeFile(const std::string& path, std::string& out, TFileIdentity& identity,
                         const std::optional<TFileIdentity>& known) {
  out.clear();
  const TFileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
  // The size on disk is only a first answer (the file may grow while it is
  // read), so the cap is checked again as the bytes come in.
  struct stat info {};
  if (::fstat(fd.Get(), &info) != 0) return ReadResult::Failed;
  identity = IdentityOf(info);
  if (known && *known == identity) return ReadResult::Unchanged;
  if (info.st_size > static_cast<off_t>(MAX_USER_STORE_FILE_SIZE)) return ReadResult::TooLarge;
  char buffer[16384];
  for (;;) {
    const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return ReadResult::Failed;
    if (n == 0) break;
    if (static_cast<size_t>(n) > MAX_USER_STORE_FILE_SIZE - out.size()) {
      out.clear();
      return ReadResult::TooLarge;
    }
    out.append(buffer, static_cast<size_t>(n));
  }
  // A file written while it was read has no identity to remember it by.
  if (::fstat(fd.Get(), &info) != 0 || !(IdentityOf(info) == identity)) identity = TFileIdentity{};
  return ReadResult::Ok;
}

// Writes the text through a temporary beside the store and renames it over
// the store, flushed to the disk, so a reader (or a crash) only ever meets
// the old or the new file.
bool ReplaceFile(const std::string& path, const std::string& text) {
  TOutputStatus status = TOutputStatus::Ok;
  const std::unique_ptr<TOutputFile> output =
      TOutputFile::Begin(path, TOutputMode::Replace, status);
  if (!output) return false;
  TStream* stream = output->Stream();
  if (stream == nullptr || stream->Write(text.data(), static_cast<int64_t>(text.size())) !=
                               static_cast<int64_t>(text.size()))
    return false;
  return output->Commit(TOutputSync::ToDisk) == TOutputStatus::Ok;
}

// A file that does not parse is renamed to user.reg.malformed-<UTC time>
// (with a counter when that name is taken) so nothing of it is lost.
bool KeepAside(const std::string& path) {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  ::gmtime_r(&now, &utc);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &utc);
  const std::string base = path + ".malformed-" + stamp;
  for (int n = 1; n < 1000; ++n) {
    const std::string target = n == 1 ? base : base + "-" + std::to_string(n);
    struct stat info {};
    if (::lstat(target.c_str(), &info) == 0) continue;
    return ::rename(path.c_str(), target.c_str()) == 0;
  }
  return false;
}

// An exclusive advisory lock on "user.reg.lock" for the lifetime of the object.
class StoreLock {
public:
  explicit StoreLock(const std::string& storePath) {
    FFd = ::open((storePath + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (FFd < 0) return;
    while (::flock(FFd, LOCK_EX) != 0) {
      if (errno != EINTR) {
        ::close(FFd);
        FFd = -1;
        return;
      }
    }
  }
  ~StoreLock() {
    if (FFd >= 0) ::close(FFd);  // closing releases the lock
  }
  StoreLock(const StoreLock&) = delete;
  StoreLock& operator=(const StoreLock&) = delete;
  bool Held() const { return FFd >= 0; }

private:
  int FFd = -1;
};

// Temporaries are written only under the lock, so one found while the lock
// is held was left by a writer that died before its rename: the output
// helper's private folders holding a store file, and the "user.reg.tmp-<pid>"
// files of earlier versions.
void RemoveStaleTemporaries(const std::string& storePath) {
  const std::string folder = FolderOf(storePath);
  const std::string storeName = storePath.substr(folder.size() + 1);
  const std::string legacyPrefix = storeName + ".tmp-";
  const std::string_view outputPrefix = TOutputFile::TEMP_FOLDER_PREFIX;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return;
  std::vector<std::string> staleFiles, staleFolders;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name.substr(0, legacyPrefix.size()) == legacyPrefix)
      staleFiles.emplace_back(name);
    else if (name.substr(0, outputPrefix.size()) == outputPrefix)
      staleFolders.emplace_back(name);
  }
  ::closedir(dir);
  for (const auto& name : staleFiles) ::unlink((folder + "/" + name).c_str());
  // A writer may also die before its temporary exists or after the rename:
  // empty folders go too. A folder holding anything else stays.
  for (const auto& name : staleFolders) {
    ::unlink((folder + "/" + name + "/" + storeName).c_str());
    ::rmdir((folder + "/" + name).c_str());
  }
}

// The last store file this process parsed, kept while the file stays the
// same: a program opens its keys and saves them again several times a run,
// and each would otherwise read and parse the whole file anew.
struct TParsedStore {
  std::string Path;
  TFileIdentity Identity;
  std::shared_ptr<const StoreFile> Store;
};
std::mutex gParsedLock;
TParsedStore gParsed;

// Reads the store; a malformed file, or one beyond the size cap, reads as
// empty (and `malformed` is set). False when the file exists but cannot be
// read: it must not be replaced.
bool LoadStore(const std::string& path, std::shared_ptr<const StoreFile>& store, bool& malformed) {
  malformed = false;
  store = std::make_shared<const StoreFile>();
  std::optional<TFileIdentity> known;
  std::shared_ptr<const StoreFile> parsed;
  {
    std::lock_guard<std::mutex> hold(gParsedLock);
    if (gParsed.Store && gParsed.Path == path) {
      known = gParsed.Identity;
      parsed = gParsed.Store;
    }
  }
  std::string text;
  TFileIdentity identity;
  const ReadResult result = ReadWholeFile(path, text, identity, known);
  switch (result) {
    case ReadResult::Failed: return false;
    case ReadResult::Missing: return true;
    case ReadResult::TooLarge: malformed = true; return true;
    case ReadResult::Unchanged: store = std::move(parsed); return true;
    case ReadResult::Ok: break;
  }
  auto fresh = std::make_shared<StoreFile>();
  if (!ParseStore(text, *fresh)) {
    malformed = true;
    return true;
  }
  store = fresh;
  if (!(identity == TFileIdentity{})) {
    std::lock_guard<std::mutex> hold(gParsedLock);
    gParsed = TParsedStore{path, identity, store};
  }
  return true;
}

using ValueMap = std::map<std::u16string, TUserStoreKey::Value>;

void ValuesOf(const Section& section, ValueMap& values) {
  values.clear();
  for (const auto& entry : section.Entries)
    if (entry.IsValue) values[Folded(entry.Name)] = DecodeRhs(entry.Rhs);
}

bool SameValue(const TUserStoreKey::Value& a, const TUserStoreKey::Value& b) {
  return a.Type == b.Type && a.DWord == b.DWord && a.Text == b.Text;
}

// Whether every pending value already stands in the section with the same
// type and content (however it is spelled in the file).
bool NothingChanges(const Section& section, const ValueMap& pending) {
  for (const auto& [name, value] : pending) {
    const Entry* entry = section.FindValue(name);
    if (entry == nullptr || !SameValue(DecodeRhs(entry->Rhs), value)) return false;
  }
  return true;
}

// Read-merge-write under the lock: the file as it is now, the key created
// when missing, the pending values set in it (by the caller's spelling of
// their names), then written back whole. With `values` given, it receives
// the key's values as they now stand in the file.
bool LandValues(const std::u16string& keyPath, const ValueMap& pending, ValueMap* values) {
  const std::string path = TUserStoreKey::StoreFilePath();
  if (!MakeFolders(FolderOf(path))) return false;
  StoreLock lock(path);
  if (!lock.Held()) return false;
  RemoveStaleTemporaries(path);
  bool malformed = false;
  std::shared_ptr<const StoreFile> current;
  if (!LoadStore(path, current, malformed)) return false;
  if (const Section* found = FindSection(*current, keyPath)) {
    // Programs save every setting they hold, changed or not; a write that
    // would leave the file as it is costs no rewrite (and no flush to disk).
    // Decided here, under the lock and on the file as it is now, so a value
    // another writer changed since this key was opened is still overwritten.
    if (pending.empty() || (!malformed && NothingChanges(*found, pending))) {
      if (values != nullptr) ValuesOf(*found, *values);
      return true;
    }
  }
  StoreFile store = *current;
  Section* section = FindSection(store, keyPath);
  if (section == nullptr) {
    store.Sections.push_back(
        Section{Utf16ToUtf8(std::u16string(u"HKEY_CURRENT_USER\\") + keyPath), {}, {}});
    section = &store.Sections.back();
  }
  for (const auto& [name, value] : pending) section->SetValue(name, EncodeRhs(value));
  if (values != nullptr) ValuesOf(*section, *values);
  if (malformed && !KeepAside(path)) return false;
  return ReplaceFile(path, RenderStore(store));
}

// One pending write per value: a later write under another spelling of the
// same name replaces the earlier one. The index by case-folded name keeps a
// save of many values linear.
void SetPending(ValueMap& pending, std::map<std::u16string, std::u16string>& names,
                const std::u16string& name, const TUserStoreKey::Value& value) {
  const auto [it, added] = names.emplace(Folded(name), name);
  if (!added) {
    pending.erase(it->second);
    it->second = name;
  }
  pending[name] = value;
}

}  // namespace

uint64_t UserStoreNameFoldings() { return gNameFoldings.load(std::memory_order_relaxed); }

std::string TUserStoreKey::StoreFilePath() { return ConfigHome() + "/brindlecorp/user.reg"; }

std::unique_ptr<TUserStoreKey> TUserStoreKey::OpenOrCreate(const std::u16string& keyPath) {
  return Guarded(u"dgn: Error in TUserStoreKey.OpenOrCreate call...",
                 std::unique_ptr<TUserStoreKey>(), [&]() -> std::unique_ptr<TUserStoreKey> {
                   const std::string path = StoreFilePath();
                   if (!MakeFolders(FolderOf(path))) return nullptr;
                   std::unique_ptr<TUserStoreKey> key(new TUserStoreKey(NormaliseKeyPath(keyPath)));
                   bool malformed = false;
                   std::shared_ptr<const StoreFile> store;
                   LoadStore(path, store, malformed);
                   for (const auto& section : store->Sections)
                     if (SameName(KeyPathOfHeader(section.Header), key->FKeyPath)) {
                       ValuesOf(section, key->FValues);
                       return key;
                     }
                   // Creating a key makes it exist in the file, as in the
                   // registry, even before a value is written to it. A key
                   // that cannot be created still serves its defaults.
                   LandValues(key->FKeyPath, {}, &key->FValues);
                   return key;
                 });
}

TUserStoreKey::~TUserStoreKey() {
  GuardedVoid(u"dgn: Error in TUserStoreKey.Destroy call...", [&] { Commit(); });
}

StoreValueType TUserStoreKey::ValueType(const std::u16string& name) const {
  const auto it = FValues.find(Folded(name));
  return it == FValues.end() ? StoreValueType::None : it->second.Type;
}

bool TUserStoreKey::ReadInteger(const std::u16string& name, int32_t& value) const {
  const auto it = FValues.find(Folded(name));
  if (it == FValues.end() || it->second.Type != StoreValueType::DWord) return false;
  value = static_cast<int32_t>(it->second.DWord);
  return true;
}

bool TUserStoreKey::ReadBool(const std::u16string& name, bool& value) const {
  int32_t number = 0;
  if (!ReadInteger(name, number)) return false;
  value = number != 0;
  return true;
}

bool TUserStoreKey::ReadString(const std::u16string& name, std::u16string& value) const {
  const auto it = FValues.find(Folded(name));
  if (it == FValues.end() || it->second.Type != StoreValueType::String) return false;
  value = it->second.Text;
  return true;
}

void TUserStoreKey::WriteInteger(const std::u16string& name, int32_t value) {
  Value v;
  v.Type = StoreValueType::DWord;
  v.DWord = static_cast<uint32_t>(value);
  FValues[Folded(name)] = v;
  SetPending(FPending, FPendingNames, name, v);
}

void TUserStoreKey::WriteBool(const std::u16string& name, bool value) {
  WriteInteger(name, value ? 1 : 0);
}

void TUserStoreKey::WriteString(const std::u16string& name, const std::u16string& value) {
  Value v;
  v.Type = StoreValueType::String;
  v.Text = value;
  FValues[Folded(name)] = v;
  SetPending(FPending, FPendingNames, name, v);
}

bool TUserStoreKey::Commit() {
  return Guarded(u"dgn: Error in TUserStoreKey.Commit call...", false, [&] {
    if (FPending.empty()) return true;
    if (!LandValues(FKeyPath, FPending, nullptr)) return false;
    FPending.clear();
    FPendingNames.clear();
    return true;
  });
}

}  // namespace riffo
