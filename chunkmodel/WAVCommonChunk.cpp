#include "chunkmodel/WAVCommonChunk.h"

#include <algorithm>
#include <cstring>
#include <atomic>
#include <thread>

#include "chunkmodel/WAVHelpers.h"
#include "platform/ByteOrder.h"
#include "platform/DebugTrace.h"
#include "platform/Guard.h"
#include "platform/Text.h"

namespace riffo {
namespace {

// The loader reads many small headers at scattered positions. Going to the
// underlying stream for each would cost one system call per header, so reads
// go through a block cache; large reads (metadata payloads) pass straight
// through. Position semantics are those of TStream.
class TBlockReader final : public TStream {
public:
  explicit TBlockReader(TStream& source)
      : FSource(source), FPosition(source.Position()), FSize(source.Size()) {}

  int64_t Read(void* buffer, int64_t count) override {
    if (count <= 0 || FPosition < 0 || FPosition >= FSize) return 0;
    auto* out = static_cast<uint8_t*>(buffer);
    int64_t done = 0;
    while (done < count) {
      if (FPosition >= FBlockStart && FPosition < FBlockStart + FBlockLength) {
        const int64_t n = std::min(count - done, FBlockStart + FBlockLength - FPosition);
        std::memcpy(out + done, FBlock + (FPosition - FBlockStart), static_cast<size_t>(n));
        done += n;
        FPosition += n;
        continue;
      }
      if (count - done >= kBlockSize) {
        if (FSource.Seek(FPosition, SeekOrigin::Begin) < 0) break;
        const int64_t n = FSource.Read(out + done, count - done);
        if (n > 0) {
          done += n;
          FPosition += n;
        }
        break;
      }
      if (!Fill()) break;
    }
    return done;
  }

  int64_t Write(const void*, int64_t) override { return -1; }

  int64_t Seek(int64_t offset, SeekOrigin origin) override {
    int64_t base = origin == SeekOrigin::Current ? FPosition
                   : origin == SeekOrigin::End   ? FSize
                                                 : 0;
    if ((offset > 0 && base > INT64_MAX - offset) || base + offset < 0) return -1;
    FPosition = base + offset;
    return FPosition;
  }

  int64_t Position() const override { return FPosition; }
  int64_t Size() const override { return FSize; }

  // Leaves the underlying stream where the reader stands.
  void Sync() { FSource.Seek(FPosition, SeekOrigin::Begin); }

private:
  static constexpr int64_t kBlockSize = 64 * 1024;

  bool Fill() {
    FBlockStart = FPosition;
    FBlockLength = 0;
    if (FSource.Seek(FPosition, SeekOrigin::Begin) < 0) return false;
    const int64_t n = FSource.Read(FBlock, kBlockSize);
    if (n <= 0) return false;
    FBlockLength = n;
    return true;
  }

  TStream& FSource;
  int64_t FPosition;
  int64_t FSize;
  int64_t FBlockStart = 0;
  int64_t FBlockLength = 0;
  uint8_t FBlock[kBlockSize];
};

std::string FourCC8(uint32_t value) { return Utf16ToUtf8(FourCCToText(value)); }

constexpr std::u16string_view kLoadChunkFailed = u"dgn: Error in TWAVCommonChunk.LoadChunk call...";

// Freed nodes wait here for the next load instead of going back to the
// allocator. At most kPoolLimit nodes are kept, so closing a huge file does
// not pin its memory for good. The pool's state is plain static data without
// destructors, so nodes freed late during process exit still find it.
struct TFreeNode {
  TFreeNode* Next;
};
#if defined(__SANITIZE_ADDRESS__)
#define RIFFO_NODE_POOL_LIMIT 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define RIFFO_NODE_POOL_LIMIT 0
#endif
#endif
#ifndef RIFFO_NODE_POOL_LIMIT
#define RIFFO_NODE_POOL_LIMIT (1 << 18)
#endif
// Under AddressSanitizer nothing is recycled, so a use of a freed node is caught.
constexpr size_t kPoolLimit = RIFFO_NODE_POOL_LIMIT;
// A spin lock: the critical sections are a few instructions long, and an
// uncontended mutex costs more than the allocation it saves.
constinit std::atomic_flag gPoolBusy;

class TPoolLock {
public:
  TPoolLock() noexcept {
    while (gPoolBusy.test_and_set(std::memory_order_acquire)) std::this_thread::yield();
  }
  ~TPoolLock() { gPoolBusy.clear(std::memory_order_release); }
  TPoolLock(const TPoolLock&) = delete;
  TPoolLock& operator=(const TPoolLock&) = delete;
};
constinit TFreeNode* gPoolFree = nullptr;
constinit size_t gPoolCount = 0;

}  // namespace

void* TWAVCommonChunk::operator new(size_t size) {
  if (size == sizeof(TWAVCommonChunk)) {
    TPoolLock hold;
    if (gPoolFree != nullptr) {
      TFreeNode* node = gPoolFree;
      gPoolFree = node->Next;
      --gPoolCount;
      return node;
    }
  }
  return ::operator new(size);
}

void TWAVCommonChunk::operator delete(void* node, size_t size) noexcept {
  if (node == nullptr) return;
  if (size == sizeof(TWAVCommonChunk)) {
    TPoolLock hold;
    if (gPoolCount < kPoolLimit) {
      auto* free = static_cast<TFreeNode*>(node);
      free->Next = gPoolFree;
      gPoolFree = free;
      ++gPoolCount;
      return;
    }
  }
  ::operator delete(node);
}

struct TWAVCommonChunk::TCallbacks {
  TReportFunction Report;
  TCancelFunction Cancel;
};

// What one load counts across all levels of the tree.
struct TWAVCommonChunk::TLoadState {
  const TCancelFunction* Cancel = nullptr;
  int64_t Chunks = 0;
  bool LimitReached = false;
  bool Cancelled = false;
};

TWAVCommonChunk::TWAVCommonChunk(TWAVCommonChunk* owner) : FOwner(owner) {}

TWAVCommonChunk::~TWAVCommonChunk() = default;

HRESULT TWAVCommonChunk::SetReportFunction(TReportFunction reportFunction) {
  return Guarded(u"dgn: Error in TWAVCommonChunk.SetReportFunction call...", E_FAIL, [&] {
    if (!FCallbacks) FCallbacks = std::make_unique<TCallbacks>();
    FCallbacks->Report = std::move(reportFunction);
    return S_OK;
  });
}

HRESULT TWAVCommonChunk::SetCancelFunction(TCancelFunction cancelFunction) {
  return Guarded(u"dgn: Error in TWAVCommonChunk.SetCancelFunction call...", E_FAIL, [&] {
    if (!FCallbacks) FCallbacks = std::make_unique<TCallbacks>();
    FCallbacks->Cancel = std::move(cancelFunction);
    return S_OK;
  });
}

const TWAVCommonChunk::TCallbacks* TWAVCommonChunk::Callbacks() const {
  for (const TWAVCommonChunk* node = this; node != nullptr; node = node->FOwner)
    if (node->FCallbacks) return node->FCallbacks.get();
  return nullptr;
}

HRESULT TWAVCommonChunk::Report(int32_t module, int32_t reportType, const std::u16string& text,
                                int32_t validationID) {
  return Guarded(u"dgn: Error in TWAVCommonChunk.Report call...", E_FAIL, [&] {
    const TCallbacks* callbacks = Callbacks();
    if (callbacks == nullptr || !callbacks->Report) return E_FAIL;
    return callbacks->Report(module, reportType, text.c_str(), validationID, -1);
  });
}

int TWAVCommonChunk::Depth() const {
  int depth = 0;
  for (const TWAVCommonChunk* node = FOwner; node != nullptr; node = node->FOwner) ++depth;
  return depth;
}

HRESULT TWAVCommonChunk::LoadChunk(TStream* fileStream) {
  if (fileStream == nullptr) {
    DebugTrace(u"dgn: Error in TWAVCommonChunk.LoadChunk - no file loaded.");
    return E_FAIL;
  }
  return Guarded(kLoadChunkFailed, E_FAIL, [&] {
    auto reader = std::make_unique<TBlockReader>(*fileStream);
    TLoadState state;
    const TCallbacks* callbacks = Callbacks();
    if (callbacks != nullptr && callbacks->Cancel) state.Cancel = &callbacks->Cancel;
    HRESULT result = LoadNode(*reader, Depth(), state, nullptr, false);
    reader->Sync();
    if (state.Cancelled) {
      DebugTrace(u"dgn: Error in TWAVCommonChunk.LoadChunk - load cancelled.");
      result = E_FAIL;
    }
    return result;
  });
}

HRESULT TWAVCommonChunk::LoadNode(TStream& stream, int depth, TLoadState& state,
                                  const Tds64_chunk* formSizes, bool inForm64) {
  auto report = [this](int32_t id, const std::string& message) {
    Report(MODULE_ID_SONOLINT, REPORT_TYPE_ERROR, Utf8ToUtf16(message), id);
  };

  int64_t remaining = 0;
  // An RF64/BW64 form at the top of the file, and whether its extent is
  // checked only once its ds64 chunk has given the true size.
  bool form64 = false;
  bool extentPending = false;
  if (FOwner == nullptr) {
    stream.Seek(0, SeekOrigin::Begin);
    FOffset = 0;
    FName = 0;
    FType = 0;
    FSize = stream.Size();
    remaining = FSize;
  } else {
    FOffset = stream.Position();
    // Id and size in one read: a short read leaves the position behind the
    // bytes that came, exactly as two reads of four would.
    uint8_t header[8];
    const int64_t got = stream.Read(header, 8);
    if (got < 4) {
      report(201, "Cannot read chunk name from file. End of file reached at 0x" +
                      HexPos(stream.Position()) + " .");
      return E_FAIL;
    }
    FName = GetLE32(header);
    if (got < 8) {
      report(202, "Cannot read chunk size from file. End of file reached at 0x" +
                      HexPos(stream.Position()) + " .");
      return E_FAIL;
    }
    const uint32_t sizeField = GetLE32(header + 4);
    FSize = sizeField;  // unsigned: 0xFFFFFFFF is 4294967295
    FSizeSource = TSizeSource::Field;
    FType = 0;
    // RF64 and BW64 are forms only at the top of the file; deeper they are
    // chunks like any other.
    form64 = FOwner->FOwner == nullptr && Is64BitForm(FName);
    if (inForm64 && sizeField == SIZE_FIELD_IN_DS64) ResolveSize(formSizes);
    if (form64 && sizeField == SIZE_FIELD_IN_DS64) {
      FSizeSource = TSizeSource::Unresolved;  // until the form's ds64 chunk is read
      extentPending = true;
    }
    const bool container = FName == FOURCC_RIFF || form64;
    if (container) {
      uint8_t bytes[4];
      if (!stream.ReadExact(bytes, 4)) {
        report(203, "Cannot read chunk type from file. End of file reached at 0x" +
                        HexPos(stream.Position()) + " .");
        return E_FAIL;
      }
      FType = GetLE32(bytes);
    }
    if (!extentPending) CheckExtent(stream.Size(), stream.Position());

    if (!container) {
      LoadLeafRecord(stream, inForm64);
      return S_OK;
    }
    if (depth > MAX_RIFF_NESTING) {
      // Deeper containers are kept as leaves so that recursion stays bounded.
      DebugTrace(u"dgn: Error in TWAVCommonChunk.LoadChunk - RIFF nesting too deep.");
      return S_OK;
    }
    remaining = FSize - 4;
  }

  // The bytes of this chunk's payload walked so far (the form type included).
  int64_t consumed = FSize - remaining;
  const Tds64_chunk* sizes = nullptr;
  while (remaining != 0) {
    // Once a load has stopped, every level stops with it.
    if (state.LimitReached || state.Cancelled) break;
    if (remaining < 0) {
      report(205, "Corrupted chunk " + FourCC8(FName) + " at 0x" + HexPos(stream.Position()) +
                      " . Last chunk exceeds the parent chunk boundaries.");
      break;
    }
    if (state.Cancel != nullptr && (*state.Cancel)()) {
      state.Cancelled = true;
      break;
    }
    // Bounds the memory and time of a load whatever the file: see MAX_LOADED_CHUNKS.
    if (state.Chunks >= MAX_LOADED_CHUNKS) {
      state.LimitReached = true;
      report(228, "Too many chunks at 0x" + HexPos(stream.Position()) + " . Only the first " +
                      std::to_string(MAX_LOADED_CHUNKS) + " chunks are loaded.");
      break;
    }
    ++state.Chunks;
    auto child = std::make_unique<TWAVCommonChunk>(this);
    const HRESULT loaded = Guarded(kLoadChunkFailed, E_FAIL, [&] {
      return child->LoadNode(stream, depth + 1, state, sizes, form64);
    });
    if (loaded != S_OK) {
      DebugTrace(u"dgn: Error in TWAVCommonChunk.LoadChunk - LoadChunk.");
      break;
    }
    const int64_t span = child->FSize + 8 + (child->FSize % 2);
    stream.Seek(child->FOffset + span, SeekOrigin::Begin);
    remaining -= span;
    consumed += span;
    if (form64 && sizes == nullptr && child->FName == FOURCC_ds64 && child->Fds64) {
      // The first ds64 chunk gives the sizes of the chunks after it, and the
      // form's own size when its field stands for one.
      sizes = child->Fds64.get();
      if (extentPending) {
        FSize = static_cast<int64_t>(std::min<uint64_t>(sizes->riffSize, MAX_CHUNK_SIZE));
        FSizeSource = TSizeSource::Ds64;
        remaining = FSize - consumed;
        CheckExtent(stream.Size(), FOffset + 12);
        extentPending = false;
      }
    }
    FSubChunks.push_back(std::move(child));
  }
  if (extentPending) CheckExtent(stream.Size(), FOffset + 12);
  return S_OK;
}

void TWAVCommonChunk::ResolveSize(const Tds64_chunk* formSizes) {
  FSizeSource = TSizeSource::Unresolved;
  if (formSizes == nullptr) return;
  const uint64_t* size = nullptr;
  if (FName == FOURCC_data) {
    size = &formSizes->dataSize;
  } else {
    // The first entry for the id counts.
    for (const TDs64Entry& entry : formSizes->Table)
      if (entry.ChunkId == FName) {
        size = &entry.Size;
        break;
      }
  }
  if (size == nullptr) return;
  FSize = static_cast<int64_t>(std::min<uint64_t>(*size, MAX_CHUNK_SIZE));
  FSizeSource = TSizeSource::Ds64;
}

void TWAVCommonChunk::CheckExtent(int64_t fileSize, int64_t headerEnd) {
  // FOffset and FSize are both far below 2^62, so the sum cannot overflow.
  if (FOffset + FSize + 8 > fileSize)
    Report(MODULE_ID_SONOLINT, REPORT_TYPE_ERROR,
           Utf8ToUtf16("Incomplete chunk " + FourCC8(FName) + " at 0x" + HexPos(headerEnd) +
                       " . Chunk size exceeds the file."),
           204);
}

void TWAVCommonChunk::LoadLeafRecord(TStream& stream, bool inForm64) {
  auto report = [this](int32_t id, const char* what) {
    Report(MODULE_ID_SONOLINT, REPORT_TYPE_ERROR,
           Utf8ToUtf16(std::string(what) + HexPos(FOffset) + " ."), id);
  };
  switch (FName) {
    case FOURCC_fmt: {
      auto record = std::make_unique<tWAVEFORMATEX>();
      if (ReadFormatRecord(stream, FSize, *record))
        Ffmt = std::move(record);
      else
        report(206, "Cannot read fmt chunk. End of file reached at 0x");
      break;
    }
    case FOURCC_fact:
      if (!ReadFactRecord(stream, Ffact))
        report(224, "Cannot read fact chunk. End of file reached at 0x");
      break;
    case FOURCC_bext:
      if (ParseBroadcastAudioExtension(&stream, FSize, Fbroadcast_audio_extension.Edit()) != S_OK)
        report(213, "Cannot read bext chunk. End of file reached at 0x");
      break;
    case FOURCC_qlty:
      if (ParseQualityChunk(&stream, FSize, Fquality_chunk.Edit()) != S_OK)
        report(223, "Cannot read qlty chunk. End of file reached at 0x");
      break;
    case FOURCC_cart: {
      if (FSize < CART_FIXED_SIZE) report(216, "Incomplete cart chunk. Chunk offset 0x");
      auto record = std::make_unique<Tcart_extension>();
      if (ReadCartRecord(stream, FSize, *record))
        Fcart_extension = std::move(record);
      else
        report(214, "Cannot read cart chunk. End of file reached at 0x");
      break;
    }
    case FOURCC_levl:
      Flevl = TLevl_chunk{};
      if (!ReadLevlRecord(stream, Flevl))
        report(225, "Cannot read levl chunk. End of file reached at 0x");
      break;
    case FOURCC_mext:
      Fmext = Tmext_chunk{};
      if (!ReadMextRecord(stream, Fmext))
        report(226, "Cannot read mext chunk. End of file reached at 0x");
      break;
    case FOURCC_ds64: {
      // Only the ds64 chunk of an RF64/BW64 form is decoded; in a RIFF form
      // it is a chunk like any other.
      if (!inForm64) break;
      auto record = std::make_unique<Tds64_chunk>();
      const TDs64Status status = ReadDs64Record(stream, FSize, *record);
      if (status == TDs64Status::Short) {
        report(227, "Incomplete ds64 chunk. Chunk offset 0x");
        break;
      }
      if (status == TDs64Status::TableOverrun)
        report(227, "ds64 chunk table runs past the chunk. Chunk offset 0x");
      Fds64 = std::move(record);
      break;
    }
    default: break;  // any other chunk is recorded with its position and size only
  }
}

HRESULT TWAVCommonChunk::LoadFile(const std::u16string& fileName) {
  return Guarded(u"dgn: Error in TWAVCommonChunk.LoadFile call...", E_FAIL, [&] {
    auto stream = TFileStream::Open(fileName, FileMode::OpenRead);
    if (!stream) {
      DebugTrace(u"dgn: Error in TWAVCommonChunk.LoadFile - cannot load file.");
      return E_FAIL;
    }
    return LoadChunk(stream.get());
  });
}

namespace {

template <typename Match>
HRESULT FindChunk(const TWAVCommonChunk& node, TWAVCommonChunk*& chunk, int32_t searchSubChunks,
                  const Match& match) {
  chunk = nullptr;
  for (const auto& child : node.FSubChunks) {
    if (match(*child)) {
      chunk = child.get();
      break;
    }
    if (searchSubChunks != 0 && FindChunk(*child, chunk, searchSubChunks, match) == S_OK &&
        chunk != nullptr)
      break;
  }
  return chunk != nullptr ? S_OK : S_FALSE;
}

}  // namespace

HRESULT TWAVCommonChunk::FindChunkByName(uint32_t name, TWAVCommonChunk*& chunk,
                                         int32_t searchSubChunks) const {
  return Guarded(u"dgn: Error in TWAVCommonChunk.FindChunkByName call...", E_FAIL, [&] {
    return FindChunk(*this, chunk, searchSubChunks,
                     [name](const TWAVCommonChunk& c) { return c.FName == name; });
  });
}

HRESULT TWAVCommonChunk::FindChunkByType(uint32_t type, TWAVCommonChunk*& chunk,
                                         int32_t searchSubChunks) const {
  return Guarded(u"dgn: Error in TWAVCommonChunk.FindChunkByType call...", E_FAIL, [&] {
    return FindChunk(*this, chunk, searchSubChunks,
                     [type](const TWAVCommonChunk& c) { return c.FType == type; });
  });
}

HRESULT TWAVCommonChunk::FindChunkByNameAndType(uint32_t name, uint32_t type,
                                                TWAVCommonChunk*& chunk,
                                                int32_t searchSubChunks) const {
  return Guarded(u"dgn: Error in TWAVCommonChunk.FindChunkByNameAndType call...", E_FAIL, [&] {
    return FindChunk(*this, chunk, searchSubChunks, [name, type](const TWAVCommonChunk& c) {
      return c.FName == name && c.FType == type;
    });
  });
}

int32_t IsWAVEFile(const std::u16string& fileName) {
  return Guarded(u"dgn: Error in IsWAVEFile call...", 0, [&]() -> int32_t {
    auto stream = TFileStream::Open(fileName, FileMode::OpenRead);
    if (!stream || stream->Size() < 12) return 0;
    uint8_t bytes[4];
    stream->Seek(0, SeekOrigin::Begin);
    if (!stream->ReadExact(bytes, 4)) return 0;
    const uint32_t id = GetLE32(bytes);
    if (id != FOURCC_RIFF && !Is64BitForm(id)) return 0;
    stream->Seek(8, SeekOrigin::Begin);
    return stream->ReadExact(bytes, 4) && GetLE32(bytes) == FOURCC_WAVE ? 1 : 0;
  });
}

}  // namespace riffo
