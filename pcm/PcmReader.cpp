#include "pcm/PcmReader.h"

namespace riffo {
namespace {

// One loop per encoding, so the decoder is inlined and the loop stays tight.
template <typename Out, typename Decode>
void ReadEach(const TPcmFormat& format, const uint8_t* data, size_t frames, Out* out,
              Decode decode) {
  const size_t count = frames * static_cast<size_t>(format.Channels);
  const auto step = static_cast<size_t>(format.ContainerBytes);
  const uint8_t* p = data + SampleOffsetInContainer(format);
  for (size_t i = 0; i < count; ++i, p += step) out[i] = decode(p);
}

template <typename Out>
bool ReadNormalised(const TPcmFormat& format, const uint8_t* data, size_t frames, Out* out) {
  if (data == nullptr || out == nullptr || !format.Supported()) return false;
  // Powers of two, so the scaling is exact wherever the type can hold the value.
  switch (format.Encoding) {
    case TSampleEncoding::UInt8:
      ReadEach(format, data, frames, out,
               [](const uint8_t* p) { return static_cast<Out>(DecodeUInt8(p)) / Out(128); });
      return true;
    case TSampleEncoding::Int16:
      ReadEach(format, data, frames, out,
               [](const uint8_t* p) { return static_cast<Out>(DecodeInt16(p)) / Out(32768); });
      return true;
    case TSampleEncoding::Int24:
      ReadEach(format, data, frames, out,
               [](const uint8_t* p) { return static_cast<Out>(DecodeInt24(p)) / Out(8388608); });
      return true;
    case TSampleEncoding::Int32:
      ReadEach(format, data, frames, out, [](const uint8_t* p) {
        return static_cast<Out>(static_cast<double>(DecodeInt32(p)) / 2147483648.0);
      });
      return true;
    case TSampleEncoding::Float32:
      ReadEach(format, data, frames, out,
               [](const uint8_t* p) { return static_cast<Out>(DecodeFloat32(p)); });
      return true;
    case TSampleEncoding::Float64:
      ReadEach(format, data, frames, out,
               [](const uint8_t* p) { return static_cast<Out>(DecodeFloat64(p)); });
      return true;
    case TSampleEncoding::Unsupported: break;
  }
  return false;
}

}  // namespace

bool ReadSamples(const TPcmFormat& format, const uint8_t* data, size_t frames, int32_t* out) {
  if (data == nullptr || out == nullptr) return false;
  switch (format.Encoding) {
    case TSampleEncoding::UInt8: ReadEach(format, data, frames, out, DecodeUInt8); return true;
    case TSampleEncoding::Int16: ReadEach(format, data, frames, out, DecodeInt16); return true;
    case TSampleEncoding::Int24: ReadEach(format, data, frames, out, DecodeInt24); return true;
    case TSampleEncoding::Int32: ReadEach(format, data, frames, out, DecodeInt32); return true;
    default: return false;
  }
}

bool ReadSamples(const TPcmFormat& format, const uint8_t* data, size_t frames, float* out) {
  return ReadNormalised(format, data, frames, out);
}

bool ReadSamples(const TPcmFormat& format, const uint8_t* data, size_t frames, double* out) {
  return ReadNormalised(format, data, frames, out);
}

}  // namespace riffo
