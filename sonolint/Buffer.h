// A growable byte FIFO: PCM bytes received and not yet analysed. Bytes are
// appended at the write index and consumed from the read index; Compact moves
// what is left to the front so the storage can be reused.
#pragma once

#include <cstdint>
#include <memory>

namespace riffo {

class TBuffer {
public:
  // Allocates Size bytes when Size is positive; Increment is the least a
  // growth adds (negative counts as 0).
  explicit TBuffer(int32_t size = 0, int32_t increment = 0);
  virtual ~TBuffer();
  TBuffer(const TBuffer&) = delete;
  TBuffer& operator=(const TBuffer&) = delete;

  virtual uint8_t* ReadPtr() const;    // the first unconsumed byte
  virtual int32_t DataLength() const;  // unconsumed bytes
  virtual uint8_t* WritePtr() const;   // one past the last stored byte
  // Moves the unconsumed bytes into new storage of that capacity (at least
  // the unconsumed count).
  virtual void Resize(int32_t newSize);
  // Consumes up to Value; at or past the write index the FIFO becomes empty.
  virtual void SetReadIndex(int32_t value);
  virtual int32_t FreeSpace() const;
  virtual void Compact();
  virtual void AddData(const void* data, int32_t dataSize);
  virtual void Empty();

  // Makes room for DataSize bytes behind the write index with the same growth
  // rule as AddData, so a reader can fill WritePtr() directly and then
  // Commit what arrived; that saves copying through a second buffer.
  void Reserve(int32_t dataSize);
  // Takes DataSize bytes written at WritePtr() into the FIFO (at most FreeSpace()).
  void Commit(int32_t dataSize);

  int32_t Capacity() const { return FSize; }
  int32_t ReadIndex() const { return FFirst; }
  int32_t WriteIndex() const { return FLast; }

private:
  std::unique_ptr<uint8_t[]> FBuf;
  int32_t FSize = 0;
  int32_t FLast = 0;
  int32_t FFirst = 0;
  int32_t FIncrement = 0;

public:
  // Time stamps a caller may attach to the buffered data; the detector never
  // sets or reads them.
  int64_t FTimeStart = 0;
  int64_t FTimeEnd = 0;
};

}  // namespace riffo
