#include "sonolint/Buffer.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace riffo {

TBuffer::TBuffer(int32_t size, int32_t increment) : FIncrement(std::max(increment, 0)) {
  if (size > 0) {
    FBuf = std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(size));
    FSize = size;
  }
}

TBuffer::~TBuffer() = default;

uint8_t* TBuffer::ReadPtr() const { return FBuf.get() + FFirst; }

int32_t TBuffer::DataLength() const { return FLast - FFirst; }

uint8_t* TBuffer::WritePtr() const { return FBuf.get() + FLast; }

void TBuffer::Resize(int32_t newSize) {
  const int32_t length = DataLength();
  // Never drop unconsumed bytes, whatever capacity is asked for.
  newSize = std::max(newSize, length);
  auto storage = newSize > 0
                     ? std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(newSize))
                     : std::unique_ptr<uint8_t[]>();
  if (length > 0) std::memcpy(storage.get(), ReadPtr(), static_cast<size_t>(length));
  FBuf = std::move(storage);
  FFirst = 0;
  FLast = length;
  FSize = newSize;
}

void TBuffer::SetReadIndex(int32_t value) {
  if (value < FLast) {
    FFirst = std::max(value, 0);
  } else {
    FFirst = 0;
    FLast = 0;
  }
}

int32_t TBuffer::FreeSpace() const { return FSize - FLast; }

void TBuffer::Compact() {
  if (FFirst > 0) {
    const int32_t length = DataLength();
    if (length > 0) std::memmove(FBuf.get(), ReadPtr(), static_cast<size_t>(length));
    FFirst = 0;
    FLast = length;
  }
}

void TBuffer::Reserve(int32_t dataSize) {
  if (dataSize <= 0) return;
  // 64-bit sums: a FIFO near 2 GiB must fail cleanly instead of wrapping.
  const int64_t needed = static_cast<int64_t>(FLast) + dataSize;
  if (needed > FSize) {
    const int64_t grown = static_cast<int64_t>(FLast) + std::max(dataSize, FIncrement);
    if (grown > INT32_MAX) throw std::length_error("TBuffer too large");
    Resize(static_cast<int32_t>(grown));
  }
}

void TBuffer::Commit(int32_t dataSize) {
  if (dataSize <= 0) return;
  if (dataSize > FreeSpace()) throw std::length_error("TBuffer commit beyond capacity");
  FLast += dataSize;
}

void TBuffer::AddData(const void* data, int32_t dataSize) {
  if (data == nullptr || dataSize <= 0) return;
  Reserve(dataSize);
  std::memcpy(WritePtr(), data, static_cast<size_t>(dataSize));
  FLast += dataSize;
}

void TBuffer::Empty() {
  FFirst = 0;
  FLast = 0;
}

}  // namespace riffo
