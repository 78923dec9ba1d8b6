// The silence and noise detector. It scans the PCM samples of a data chunk in
// consecutive 50 ms windows, measures every channel's level in decibels and
// tracks two kinds of stretch: silence (every channel at or below the silence
// level) and noise (some channel above the noise level). A stretch that lasts
// at least its minimum becomes one report line when it ends; at the end of the
// data two lines give the file's total silence and noise.
//
// Times are measured from the first PCM byte: byte position / bytes per second.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "chunkmodel/WAVCommonChunk.h"
#include "contract/QuorvexControlInterface.h"
#include "pcm/PcmFormat.h"
#include "sonolint/Buffer.h"

namespace riffo {

// Observer of block events: EventType, StartTime and EndTime in seconds.
using TAnalysisEventFunction =
    std::function<HRESULT(uint32_t eventType, double startTime, double endTime)>;

inline constexpr uint32_t SILENCE_BLOCK_CONFIRMED_EVENT = 111;
inline constexpr uint32_t SILENCE_BLOCK_ENDED_EVENT = 112;
inline constexpr uint32_t NOISE_BLOCK_CONFIRMED_EVENT = 121;
inline constexpr uint32_t NOISE_BLOCK_ENDED_EVENT = 122;

inline constexpr int32_t SILENCE_BLOCK_ID = 500;
inline constexpr int32_t NOISE_BLOCK_ID = 501;
inline constexpr int32_t TOTAL_SILENCE_ID = 502;
inline constexpr int32_t TOTAL_NOISE_ID = 503;
// "Audio not analysed: <reason>", sent before the totals when the file has a
// format and data that the detector cannot analyse.
inline constexpr int32_t AUDIO_NOT_ANALYSED_ID = 506;

// ProcessFile reads the data in pieces of at most this many bytes.
inline constexpr int32_t PCM_READ_PIECE_SIZE = 1048576;
// The FIFO starts at this size and grows by at least as much.
inline constexpr int32_t PCM_FIFO_SIZE = 192000;

inline constexpr int32_t MAX_DETECTOR_CHANNELS = 32;

// RMS of one channel over a window of interleaved samples. Size is the
// window's bytes over all channels; only whole frames count. False without a
// result when the channel index is not below the channel count (traced) or
// when the window holds fewer than two frames.
bool Calc8bitChannelVolume(const uint8_t* data, int32_t size, int32_t channels, int32_t channel,
                           double& volume);
bool Calc16bitChannelVolume(const uint8_t* data, int32_t size, int32_t channels, int32_t channel,
                            double& volume);

// The same for every channel in one pass over the window (volumes has room
// for channels values, channels 1..32). Each value equals what the
// one-channel function gives for that channel.
bool Calc8bitChannelVolumes(const uint8_t* data, int32_t size, int32_t channels, double* volumes);
bool Calc16bitChannelVolumes(const uint8_t* data, int32_t size, int32_t channels, double* volumes);

// RMS of every channel over a window of any encoding the detector analyses,
// in sample units (integer values for integer data, 8-bit centred on 0; the
// float values for float data). Containers of containerBytes bytes, the
// sample in their most significant bytes. Integer sums of squares are exact
// (64-bit up to 24 bits, 128-bit for 32 bits); float data is summed in double
// precision in sample order, so a NaN or an infinite sample gives a NaN or an
// infinite RMS. False as the functions above.
bool CalcChannelVolumes(TSampleEncoding encoding, int32_t containerBytes, const uint8_t* data,
                        int32_t size, int32_t channels, double* volumes);

// Float data: the volumes of FLOAT_WINDOW_BATCH consecutive windows of
// windowSize bytes each, measured together when at least that many windows
// are given and the channel count is 1, 2, 4, 6 or 8; otherwise of the first
// window alone. Window w's volumes go to volumes[w * MAX_DETECTOR_CHANNELS]
// onwards, each exactly what CalcChannelVolumes gives for that window. The
// number of windows measured (0 on bad input).
inline constexpr int32_t FLOAT_WINDOW_BATCH = 4;
int32_t CalcFloatWindowVolumes(TSampleEncoding encoding, const uint8_t* data, int32_t windowSize,
                               int32_t windows, int32_t channels, double* volumes);

// How the sums of squares are computed; all give the same sums (exact
// integers; float sums added in the same order). The best one the processor
// has is used unless another is chosen (tests and benchmarks compare them).
// Sse2 covers 16-bit data; other depths take the scalar path under it.
enum class TLevelKernel { Scalar, Sse2, Avx2 };
bool SetLevelKernel(TLevelKernel kernel);  // false when the processor lacks it
TLevelKernel LevelKernel();

// 20 log10(RMS / 32767) for both sample widths; exactly -120 for silence.
double VolumeTodB(double volume);
// 20 log10(RMS / fullScale); exactly -120 for silence.
double VolumeTodB(double volume, double fullScale);
// The RMS that measures 0 dB: 32767 for 8 and 16 bits (one scale for both),
// 8388607 for 24, 2147483647 for 32-bit integers, 1.0 for float data.
double FullScaleOf(TSampleEncoding encoding);

class TWAVSilenceDetector {
public:
  TWAVSilenceDetector();
  ~TWAVSilenceDetector();
  TWAVSilenceDetector(const TWAVSilenceDetector&) = delete;
  TWAVSilenceDetector& operator=(const TWAVSilenceDetector&) = delete;

  // Back to the state after creation: no format, nothing buffered, levels
  // that never detect anything (-1000 dB silence, +10 dB noise), zero
  // minimums and totals.
  HRESULT Reset();
  HRESULT SetReportFunction(TReportFunction reportFunction);
  // 6000..192000 frames per second, 1..32 channels, 8 or 16 bits.
  HRESULT SetPCMFormat(int32_t samplesPerSeconds, int32_t channels, int32_t bitsPerSample);
  // The same from a file's described format. 8- and 16-bit data is taken as
  // above whatever the format tag; 24- and 32-bit integers and 32- and 64-bit
  // floats in containers of BlockAlign / Channels bytes as DescribePcmFormat
  // decodes them. A format that cannot be analysed leaves the detector
  // inactive and makes Finalize send rule 506 with the reason before the
  // totals.
  HRESULT SetPCMFormat(const TPcmFormat& format);
  // Both need a format set first.
  HRESULT SetSilenceParameters(double silenceLeveldB, int32_t minSilenceDurationMS);
  HRESULT SetNoiseParameters(double noiseLeveldB, int32_t minNoiseDurationMS);
  void OnSilenceDetect(TAnalysisEventFunction eventFunction);
  void OnNoiseDetect(TAnalysisEventFunction eventFunction);
  // Asked between the pieces ProcessFile reads; true stops the reading (what
  // was read is still finalised and reported).
  void SetCancelFunction(std::function<bool()> cancelFunction);

  // Appends the bytes and analyses every complete window but the last.
  HRESULT AddPCMData(const void* data, int32_t size);
  // Closes open blocks (the unanalysed tail counts to a confirmed block) and
  // reports the file totals.
  HRESULT Finalize();
  // Reads PCMDataSize bytes from PCMDataOffset through the detector and
  // finalises. A short read ends the reading; the rest is still finalised.
  HRESULT ProcessFile(const std::u16string& fileName, int64_t pcmDataOffset, int64_t pcmDataSize);

  int32_t SamplesPerSeconds() const { return FSamplesPerSeconds; }
  int32_t Channels() const { return FChannels; }
  int32_t BitsPerSample() const { return FBitsPerSample; }
  TSampleEncoding Encoding() const { return FEncoding; }
  // Why the format set last cannot be analysed; empty otherwise.
  const std::u16string& NotAnalysedReason() const { return FNotAnalysedReason; }
  int32_t IntegrationSizeAllCh() const { return FIntegrationSizeAllCh; }
  int64_t ProcessedBytes() const { return FProcessedBytes; }
  // True when the last ProcessFile was cut short by the cancel function.
  bool Cancelled() const { return FCancelled; }
  long double TotalFileSilenceSeconds() const { return FSilence.TotalSeconds; }
  long double TotalFileNoiseSeconds() const { return FNoise.TotalSeconds; }

private:
  // The state of one kind of block (silence or noise).
  struct TBlockTracker {
    double LeveldB = 0;
    int32_t MinDurationMS = 0;
    int64_t MinDurationBytes = 0;
    int64_t StartBytePosition = -1;  // -1: no block open
    int64_t EndBytePosition = -1;    // set only while a block is closed
    bool StartReported = false;      // the open block reached the minimum
    long double TotalSeconds = 0;
    TAnalysisEventFunction EventFunction;
    // Fixed per kind:
    int32_t ValidationID = 0;
    uint32_t ConfirmedEvent = 0;
    uint32_t EndedEvent = 0;
    std::u16string Kind;  // "Silence" or "Noise", the first word of its lines
  };

  HRESULT Configure(int32_t samplesPerSeconds, int32_t channels, int32_t bitsPerSample,
                    TSampleEncoding encoding, int32_t containerBytes, std::u16string* reason);
  HRESULT Process();
  HRESULT ProcessSilenceBlocks(bool silent);
  HRESULT ProcessNoiseBlocks(bool noisy);
  void AdvanceBlock(TBlockTracker& block, bool inBlock);
  void CloseBlock(TBlockTracker& block, int64_t endPosition);
  void ReportBlock(TBlockTracker& block);
  int64_t DurationBytes(int32_t durationMS) const;
  double BytesToSeconds(int64_t bytes) const;
  HRESULT Report(int32_t module, int32_t reportType, const std::u16string& message,
                 int32_t validationID);

  bool FInitialized = false;
  int32_t FSamplesPerSeconds = 0;
  int32_t FChannels = 0;
  int32_t FBitsPerSample = 0;
  TSampleEncoding FEncoding = TSampleEncoding::Unsupported;
  int32_t FContainerBytes = 0;
  double FFullScale = 32767.0;
  std::u16string FNotAnalysedReason;
  int32_t FBytesPerSample = 0;  // one frame over all channels
  int32_t FIntegrationSize1Ch = 0;
  int32_t FIntegrationSizeAllCh = 0;
  int64_t FProcessedBytes = 0;
  TBuffer FBuffer;
  TReportFunction FReportFunction;
  std::function<bool()> FCancelFunction;
  bool FCancelled = false;
  TBlockTracker FSilence;
  TBlockTracker FNoise;
};

}  // namespace riffo
