// Byte streams: the loader, the hex view and the editor read through this
// interface, so the same code runs on files and on bytes in memory.
//
// Positions behave as on Windows files: a seek may go beyond the end (reads
// there return nothing and the position is not clamped); after a short read
// the position stands behind the bytes that did come.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace riffo {

enum class SeekOrigin { Begin, Current, End };

class TStream {
public:
  virtual ~TStream() = default;
  TStream() = default;
  TStream(const TStream&) = delete;
  TStream& operator=(const TStream&) = delete;

  // Returns the number of bytes read (0 at or past the end, -1 on an I/O error).
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  // Returns the number of bytes written (-1 on an error).
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  // Returns the new position, or -1 when the resulting position would be negative.
  virtual int64_t Seek(int64_t offset, SeekOrigin origin) = 0;
  virtual int64_t Position() const = 0;
  virtual int64_t Size() const = 0;

  // Reads exactly count bytes; false (with what came consumed) when fewer came.
  bool ReadExact(void* buffer, int64_t count);

  // Whether the name the stream was opened by still leads to the file it
  // has open: false once another program has deleted the file or put another
  // in its place (a save by rename). Streams without a name always answer true.
  virtual bool StillUnderItsName() const { return true; }
};

enum class FileMode {
  OpenRead,       // shared read: others may read and write meanwhile
  OpenReadWrite,  // shared read-write, the file must exist
  Create          // create or truncate, read-write
};

class TFileStream final : public TStream {
public:
  // nullptr when the file cannot be opened in that mode (errno tells why).
  static std::unique_ptr<TFileStream> Open(const std::u16string& fileName, FileMode mode);
  static std::unique_ptr<TFileStream> Open(const std::string& utf8FileName, FileMode mode);
  ~TFileStream() override;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  int64_t Position() const override { return FPosition; }
  int64_t Size() const override;
  bool StillUnderItsName() const override;
  bool Flush();

private:
  TFileStream(int fd, std::string nativeName) : FFd(fd), FNativeName(std::move(nativeName)) {}
  int FFd = -1;
  std::string FNativeName;
  int64_t FPosition = 0;
};

class TMemoryStream final : public TStream {
public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<uint8_t> bytes) : FBytes(std::move(bytes)) {}

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  int64_t Position() const override { return FPosition; }
  int64_t Size() const override { return static_cast<int64_t>(FBytes.size()); }

  const std::vector<uint8_t>& Bytes() const { return FBytes; }

private:
  std::vector<uint8_t> FBytes;
  int64_t FPosition = 0;
};

}  // namespace riffo
