// The loudness meter: integrated loudness, loudness range, maximum momentary
// and short-term loudness, true and sample peak per channel, and the signal
// faults (clipping runs, DC offset, negative stereo correlation) of one data
// chunk, read through the shared sample readers.
//
// Integrated loudness, loudness range and the peaks come from the loudness
// library. A long file is cut into parts at one-second boundaries that are
// measured on threads of their own, one library state each; the states'
// blocks are combined at the end. A part's state runs 300 ms past the part's
// end and a small bridge state covers 2 s on either side of a later part's
// start, so that the parts together make exactly a single pass's blocks (only
// the first milliseconds of a state's filter differ, far below 0.01 LU).
//
// The true peak can only exceed the sample peak where the samples around come
// within the interpolator's gain (about 5.4 dB) of it. A first pass records
// every channel's largest magnitude per 100 ms; the library's oversampling,
// the costliest part of the measurement, then runs only over the seconds where
// the true peak may lie above the sample peak, each stretch with a little of
// the audio around it. The result is the library's true peak over the whole
// data.
//
// The maximum momentary (400 ms) and short-term (3 s) loudness come from the
// library's K-weighted 100 ms block energies, read once per block (the last
// 100 ms window): asking the library for the momentary and short-term
// loudness every 100 ms sums their whole windows each time, which costs more
// than the rest of the measurement. Within 2 s of a later part's start the
// blocks come from the bridge state, whose filter has run in before the part,
// so the maxima are those of a single pass.
//
// Only the parts the caller asks for are made (TMeterInput::Needs): without
// the loudness no library state is fed, without the true peak nothing is
// oversampled, and when nothing is asked for no sample is read at all; the
// frames measured then are those the file holds of the declared data.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "pcm/PcmFormat.h"

namespace riffo {

// The lowest sample rate measured, and the most channels the library takes.
inline constexpr uint32_t MIN_LOUDNESS_RATE = 8000;
inline constexpr uint32_t MAX_LOUDNESS_RATE = 2822400;
inline constexpr int32_t MAX_LOUDNESS_CHANNELS = 64;
// Data shorter than two parts of this length is measured in one part.
inline constexpr int32_t MIN_PART_SECONDS = 20;

// How a channel counts in the loudness sum.
enum class TChannelRole { Front, Surround, Rear, Lfe };
// The role of each channel from the channel count and, when not 0, the
// extensible record's channel mask: mask bits are given to channels in bit
// order; channels without a bit count as front channels. Without a mask the
// usual layouts for the count are assumed (1 to 8 channels; 6 is 5.1 with
// the low-frequency channel fourth).
std::vector<TChannelRole> ChannelRoles(int32_t channels, uint32_t channelMask);
// The weight of a channel's energy (as the library weighs it): 1.0 front and
// rear, 1.41 surround, 0 LFE.
double ChannelWeight(TChannelRole role);

// Samples per 100 ms block at a rate, rounded as the library rounds it.
int64_t BlockFrames(uint32_t sampleRate);

// The parts of the measurement to make; what is not made stays at its
// default in the result. With none of them, no sample is read.
struct TMeterNeeds {
  bool Loudness = true;     // integrated loudness, range, momentary and short-term maxima
  bool TruePeak = true;     // per channel (includes the sample peaks it starts from)
  bool SamplePeak = true;   // per channel
  bool Clipping = true;     // runs of full-scale samples
  bool DcOffset = true;     // each channel's mean
  bool Correlation = true;  // stereo only
  bool Any() const {
    return Loudness || TruePeak || SamplePeak || Clipping || DcOffset || Correlation;
  }
};

struct TMeterInput {
  std::u16string FileName;
  int64_t DataOffset = 0;  // file position of the first sample byte
  int64_t DataSize = 0;    // bytes the data chunk declares
  TPcmFormat Format;
  uint32_t ChannelMask = 0;
  int32_t ClipRunSamples = 3;
  double CorrelationLimit = -0.2;
  // Number of parts: 0 chooses from the length and the processor count.
  int32_t Parts = 0;
  // Asked between pieces; true stops the reading.
  std::function<bool()> Cancel;
  TMeterNeeds Needs;
};

struct TClipRun {
  int32_t Channel = 0;
  int64_t Frame = 0;   // first full-scale sample, from the start of the data
  int64_t Length = 0;  // consecutive full-scale samples
};

struct TMeterResult {
  // Why nothing was measured; empty when it was.
  std::string NotMeasured;
  // LUFS / LU; -infinity where nothing rose above the gates (silence).
  double Integrated = 0;
  double Range = 0;
  double MaxMomentary = 0;
  double MaxShortTerm = 0;
  // Linear (1.0 is full scale), per channel.
  std::vector<double> TruePeak;
  std::vector<double> SamplePeak;
  // The mean of each channel's samples (full scale 1.0).
  std::vector<double> ChannelMean;
  std::vector<TChannelRole> Roles;
  int64_t FramesDeclared = 0;  // what the data chunk's size declares
  int64_t FramesMeasured = 0;  // what could be read
  bool Cancelled = false;
  // Runs of at least ClipRunSamples, ordered by position then channel.
  std::vector<TClipRun> ClipRuns;
  // Stereo only: the long-term correlation of the two channels and the first
  // one-second window whose correlation is below the limit (-1: none).
  bool HasCorrelation = false;
  double Correlation = 0;
  int64_t FirstLowCorrelationFrame = -1;
  int32_t PartsUsed = 0;
  // Frames the library's oversampling ran over (see MeasureLoudness).
  int64_t TruePeakFrames = 0;
  // Frames read from the file by every pass together (0: no sample was read).
  int64_t FramesRead = 0;
};

TMeterResult MeasureLoudness(const TMeterInput& input);

}  // namespace riffo
