// The RIFF chunk tree: one TWAVCommonChunk per chunk, the root standing for
// the whole file. RIFF chunks are containers, and so are RF64 and BW64 forms
// at the top of the file; every other chunk (LIST included) is a leaf with
// its position and size, and the broadcast-wave metadata chunks are decoded
// into their records while loading.
//
// In an RF64/BW64 form a 32-bit size field of 0xFFFFFFFF stands for a size
// held in the form's ds64 chunk: the form's own from riffSize, data's from
// dataSize, any other chunk's from the ds64 table by id. FSize is always the
// size in use; FSizeSource says where it came from.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "chunkmodel/WAVRecords.h"
#include "contract/QuorvexControlInterface.h"
#include "platform/Stream.h"

namespace riffo {

// Where findings go: Module, ReportType, ReportMessage (valid during the call
// only), ValidationID, StreamID.
using TReportFunction =
    std::function<HRESULT(int32_t module, int32_t reportType, const char16_t* reportMessage,
                          int32_t validationID, int32_t streamID)>;

// Asked between chunks while loading; true stops the load, which then fails.
using TCancelFunction = std::function<bool()>;

inline constexpr uint32_t FOURCC_RIFF = 0x46464952;
inline constexpr uint32_t FOURCC_WAVE = 0x45564157;
inline constexpr uint32_t FOURCC_fmt = 0x20746D66;
inline constexpr uint32_t FOURCC_fact = 0x74636166;
inline constexpr uint32_t FOURCC_bext = 0x74786562;
inline constexpr uint32_t FOURCC_qlty = 0x79746C71;
inline constexpr uint32_t FOURCC_cart = 0x74726163;
inline constexpr uint32_t FOURCC_levl = 0x6C76656C;
inline constexpr uint32_t FOURCC_mext = 0x7478656D;
inline constexpr uint32_t FOURCC_data = 0x61746164;
inline constexpr uint32_t FOURCC_LIST = 0x5453494C;
inline constexpr uint32_t FOURCC_RF64 = 0x34364652;
inline constexpr uint32_t FOURCC_BW64 = 0x34365742;
inline constexpr uint32_t FOURCC_ds64 = 0x34367364;

// The size field that stands for a 64-bit size in RF64/BW64 forms.
inline constexpr uint32_t SIZE_FIELD_IN_DS64 = 0xFFFFFFFF;

// Sizes from a ds64 chunk are capped here: no file is that long, and the cap
// keeps every offset + size sum far from overflowing.
inline constexpr int64_t MAX_CHUNK_SIZE = int64_t{1} << 60;

// RF64 and BW64: the forms whose sizes may come from a ds64 chunk.
inline bool Is64BitForm(uint32_t name) { return name == FOURCC_RF64 || name == FOURCC_BW64; }

enum class TSizeSource : uint8_t {
  Field,       // the 32-bit size field
  Ds64,        // 0xFFFFFFFF replaced by the ds64 chunk
  Unresolved,  // 0xFFFFFFFF in an RF64/BW64 form with no 64-bit size for it
};

// Nested RIFF containers deeper than this are kept as leaves, so that a
// crafted file cannot exhaust the stack.
inline constexpr int MAX_RIFF_NESTING = 64;

// A load keeps at most this many chunks, all levels together; the chunks
// after them are not read, and finding 228 says so. Real files have tens of
// chunks, but a zero-filled region reads as one empty chunk per 8 bytes. A
// node costs about 200 bytes, and about 500 more once it is rendered for the
// tree or the export, so this bound keeps a load with its rendering near
// 35 MB whatever the file.
inline constexpr int64_t MAX_LOADED_CHUNKS = 50000;

class TWAVCommonChunk {
public:
  explicit TWAVCommonChunk(TWAVCommonChunk* owner = nullptr);
  virtual ~TWAVCommonChunk();
  TWAVCommonChunk(const TWAVCommonChunk&) = delete;
  TWAVCommonChunk& operator=(const TWAVCommonChunk&) = delete;

  // Nodes come from a recycling pool: a file of many small chunks makes as
  // many nodes, and reloading would otherwise pay the allocator for each.
  static void* operator new(size_t size);
  static void operator delete(void* node, size_t size) noexcept;

  // The callbacks belong to the tree: set them on the node loads start from
  // (normally the root); every node below reports through them.
  HRESULT SetReportFunction(TReportFunction reportFunction);
  HRESULT SetCancelFunction(TCancelFunction cancelFunction);
  // S_OK once the tree is read (findings or not); E_FAIL without a stream or
  // when the cancel function stopped the load (the chunks read so far stay).
  HRESULT LoadChunk(TStream* fileStream);
  HRESULT LoadFile(const std::u16string& fileName);

  HRESULT FindChunkByName(uint32_t name, TWAVCommonChunk*& chunk, int32_t searchSubChunks) const;
  HRESULT FindChunkByType(uint32_t type, TWAVCommonChunk*& chunk, int32_t searchSubChunks) const;
  HRESULT FindChunkByNameAndType(uint32_t name, uint32_t type, TWAVCommonChunk*& chunk,
                                 int32_t searchSubChunks) const;

  // Sends a finding to the tree's report function with StreamID -1; E_FAIL
  // when none is set.
  HRESULT Report(int32_t module, int32_t reportType, const std::u16string& text,
                 int32_t validationID);

  TWAVCommonChunk* FOwner = nullptr;
  uint32_t FName = 0;
  uint32_t FType = 0;
  int64_t FSize = 0;
  int64_t FOffset = 0;
  TSizeSource FSizeSource = TSizeSource::Field;
  std::vector<std::unique_ptr<TWAVCommonChunk>> FSubChunks;
  std::unique_ptr<tWAVEFORMATEX> Ffmt;
  Tfact_chunk Ffact{};
  TLazyRecord<Tbroadcast_audio_extension> Fbroadcast_audio_extension;  // see TLazyRecord
  TLazyRecord<Tquality_chunk> Fquality_chunk;
  std::unique_ptr<Tcart_extension> Fcart_extension;
  std::unique_ptr<Tds64_chunk> Fds64;
  TLevl_chunk Flevl{};
  Tmext_chunk Fmext{};

private:
  struct TCallbacks;
  struct TLoadState;

  // Set only on the node the callbacks were given to: a node costs one
  // pointer for them rather than a copy of each.
  std::unique_ptr<TCallbacks> FCallbacks;

  // The callbacks of the nearest node up the owner chain that has them.
  const TCallbacks* Callbacks() const;
  HRESULT LoadNode(TStream& stream, int depth, TLoadState& state, const Tds64_chunk* formSizes,
                   bool inForm64);
  void ResolveSize(const Tds64_chunk* formSizes);
  void CheckExtent(int64_t fileSize, int64_t headerEnd);
  void LoadLeafRecord(TStream& stream, bool inForm64);
  int Depth() const;
};

// True when the file opens, is at least 12 bytes long and starts with
// RIFF....WAVE, RF64....WAVE or BW64....WAVE.
int32_t IsWAVEFile(const std::u16string& fileName);

}  // namespace riffo
