// The per-user store: the registry of the current user, kept as a text file
// in the registry-export format at $XDG_CONFIG_HOME/brindlecorp/user.reg
// (~/.config/brindlecorp/user.reg when XDG_CONFIG_HOME is unset).
//
//   [HKEY_CURRENT_USER\SOFTWARE\Brindlecorp\Riffoscope]
//   "FormTop"=dword:0000003c
//   "Name"="text"
//
// A key is opened (and created when missing) by its path below
// HKEY_CURRENT_USER. Reads see the file as it was when the key was opened;
// writes are collected and land in one read-merge-write under an advisory
// lock, by write-to-temporary-then-rename, when Commit() is called or the key
// is destroyed. So two writers never lose each other's keys and a crash never
// leaves a torn file. A malformed file, and one larger than
// MAX_USER_STORE_FILE_SIZE, reads as empty and is renamed aside before it is
// rewritten, never silently destroyed. Reading takes time in proportion to
// the file's size, however many values one key holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>

namespace riffo {

enum class StoreValueType { None, DWord, String, Other };

// The largest store file read (16 MiB). The program's own settings take a
// few kilobytes; anything far beyond is no settings file of ours.
inline constexpr size_t MAX_USER_STORE_FILE_SIZE = 16u * 1024u * 1024u;

// Names case-folded or compared by the store since the program started: the
// measure of the parser's work, which stays in proportion to the values read.
uint64_t UserStoreNameFoldings();

class TUserStoreKey {
public:
  // Opens or creates the key, e.g. u"SOFTWARE\\Brindlecorp\\Riffoscope".
  // nullptr only when the store's folder cannot be made.
  static std::unique_ptr<TUserStoreKey> OpenOrCreate(const std::u16string& keyPath);
  ~TUserStoreKey();  // commits pending writes
  TUserStoreKey(const TUserStoreKey&) = delete;
  TUserStoreKey& operator=(const TUserStoreKey&) = delete;

  StoreValueType ValueType(const std::u16string& name) const;
  bool ValueExists(const std::u16string& name) const {
    return ValueType(name) != StoreValueType::None;
  }

  // False when the value is missing or not a 32-bit integer value.
  bool ReadInteger(const std::u16string& name, int32_t& value) const;
  bool ReadBool(const std::u16string& name, bool& value) const;  // dword, non-zero is true
  bool ReadString(const std::u16string& name, std::u16string& value) const;

  void WriteInteger(const std::u16string& name, int32_t value);
  void WriteBool(const std::u16string& name, bool value);  // dword 0 or 1
  void WriteString(const std::u16string& name, const std::u16string& value);

  // Lands the pending writes; false when the file could not be written.
  bool Commit();

  const std::u16string& KeyPath() const { return FKeyPath; }
  // Full path of the store file in use.
  static std::string StoreFilePath();

  struct Value {
    StoreValueType Type = StoreValueType::None;
    uint32_t DWord = 0;
    std::u16string Text;  // the string, or the raw right-hand side for Other
  };

private:
  explicit TUserStoreKey(std::u16string keyPath) : FKeyPath(std::move(keyPath)) {}
  std::u16string FKeyPath;
  std::map<std::u16string, Value> FValues;   // as read when opened, plus own writes
  std::map<std::u16string, Value> FPending;  // writes not yet landed
  std::map<std::u16string, std::u16string>
      FPendingNames;  // case-folded name -> its key in FPending
};

}  // namespace riffo
