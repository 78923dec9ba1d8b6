#include "loudlint/LoudnessMeter.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <numbers>
#include <thread>

#include "pcm/FmtPayload.h"
#include "pcm/PcmReader.h"
#include "platform/Processors.h"
#include "platform/Stream.h"

namespace riffo {
namespace {

constexpr double MINUS_INF = -std::numeric_limits<double>::infinity();
constexpr double SURROUND_WEIGHT = 1.41;
// Pieces read at a time, in frames; with at most 64 channels of 8 bytes a
// piece stays under 32 MiB, and usually around 100 KiB.
constexpr int64_t PIECE_FRAMES = 8192;
// How the parts' library blocks add up to a single pass's. A state makes its
// first 400 ms gating block after 4 blocks of 100 ms and then one per block;
// its first 3 s range block after 30 blocks and then one every 10 blocks.
// Parts start at multiples of 10 blocks. Each part's state is fed 3 blocks
// past the part's end, so it makes every gating block ending up to there; the
// next part's state, starting at the boundary, makes its first gating block
// one block later. The range blocks of the next part's state start 30 blocks
// after the boundary; the two between (ending 10 and 20 blocks after it) come
// from a bridge state fed from 20 blocks before the boundary to 20 after.
// The filter of the maxima is run in on the same 20 blocks.
constexpr int64_t GATING_POST_ROLL_BLOCKS = 3;
constexpr int64_t BRIDGE_BLOCKS = 20;
// Correlation windows and part boundaries are this many 100 ms blocks.
constexpr int64_t BLOCKS_PER_WINDOW = 10;
constexpr int32_t MAX_PARTS = 4;
constexpr unsigned long BLOCK_MS = 100;
// Samples fed before and after a stretch measured for its true peak: more
// than the library's interpolator holds, so that the stretch's own
// interpolated values are those of a run over the whole data.
constexpr int64_t TRUE_PEAK_CONTEXT = 64;

struct TStateDeleter {
  void operator()(ebur128_state* state) const { ebur128_destroy(&state); }
};
using TStatePtr = std::unique_ptr<ebur128_state, TStateDeleter>;

int LibraryChannel(TChannelRole role) {
  switch (role) {
    case TChannelRole::Lfe: return EBUR128_UNUSED;
    case TChannelRole::Surround: return EBUR128_LEFT_SURROUND;
    case TChannelRole::Rear: return EBUR128_Mp135;
    case TChannelRole::Front: break;
  }
  return EBUR128_CENTER;
}

uint32_t DefaultMask(int32_t channels) {
  switch (channels) {
    case 1: return SPEAKER_FRONT_CENTER;
    case 2: return 0x3;
    case 3: return 0x7;
    case 4: return 0x33;
    case 5: return 0x37;
    case 6: return 0x3F;
    case 7: return 0x13F;
    case 8: return 0x63F;
    default: return 0;
  }
}

double LoudnessOfEnergy(double energy) {
  return energy <= 0 ? MINUS_INF : -0.691 + 10.0 * std::log10(energy);
}

// One stretch of the data, measured on its own thread.
struct TPart {
  int64_t First = 0;  // frames from the start of the data
  int64_t End = 0;
  TStatePtr State;                  // integrated loudness and range
  TStatePtr Bridge;                 // range blocks across the part's start (later parts)
  std::vector<double> BlockEnergy;  // weighted mean squares of complete blocks
  // Per PeakFrames frames (the last stretch possibly short), the largest
  // magnitude of each channel: Channels values per stretch.
  std::vector<float> SecondPeak;
  std::vector<double> Sum;     // per channel
  std::vector<TClipRun> Runs;  // see MeasurePart
  double LL = 0, RR = 0, LR = 0;
  int64_t FirstLowCorrelationFrame = -1;
  int64_t FramesRead = 0;     // of [First, End)
  int64_t FramesDecoded = 0;  // every read of the part, the run-in and run-out included
  bool Failed = false;
};

struct TShared {
  const TMeterInput* Input;
  const TPcmFormat* Format;
  std::vector<TChannelRole> Roles;
  int64_t BlockFrames;
  int64_t Frames;  // frames measured at most
  // Frames per stretch of the peak map (see TPart::SecondPeak): a 100 ms
  // block, or a whole window where the map would grow too large.
  int64_t PeakFrames;
  float PositiveFull;
  float NegativeFull;
};

bool Cancelled(const TMeterInput& input) { return input.Cancel && input.Cancel(); }

// Reads frames [from, to) piece by piece into samples; false on a short read
// or cancel, with FramesRead telling how far it got.
template <typename Each>
int64_t ReadFrames(TStream& stream, const TShared& shared, int64_t from, int64_t to, Each each) {
  const TPcmFormat& format = *shared.Format;
  const int64_t frameBytes = format.FrameBytes;
  if (stream.Seek(shared.Input->DataOffset + from * frameBytes, SeekOrigin::Begin) < 0) return 0;
  std::vector<uint8_t> bytes(static_cast<size_t>(PIECE_FRAMES * frameBytes));
  std::vector<float> samples(static_cast<size_t>(PIECE_FRAMES * format.Channels));
  int64_t done = 0;
  while (from + done < to) {
    if (Cancelled(*shared.Input)) break;
    const int64_t frames = std::min(PIECE_FRAMES, to - from - done);
    const int64_t got = stream.Read(bytes.data(), frames * frameBytes);
    const int64_t whole = got > 0 ? got / frameBytes : 0;
    if (whole > 0) {
      ReadSamples(format, bytes.data(), static_cast<size_t>(whole), samples.data());
      each(samples.data(), from + done, whole);
      done += whole;
    }
    if (whole < frames) break;
  }
  return done;
}

void MeasurePart(const TShared& shared, TPart& part) {
  const TMeterInput& input = *shared.Input;
  const TPcmFormat& format = *shared.Format;
  const TMeterNeeds& needs = input.Needs;
  const int32_t channels = format.Channels;
  const size_t nch = static_cast<size_t>(channels);
  std::unique_ptr<TFileStream> stream = TFileStream::Open(input.FileName, FileMode::OpenRead);
  if (!stream) {
    part.Failed = true;
    return;
  }

  // Run the bridge in on the audio before the part.
  const int64_t bridgeEnd = std::min(part.End, part.First + BRIDGE_BLOCKS * shared.BlockFrames);
  if (part.Bridge) {
    const int64_t bridgeStart =
        std::max<int64_t>(0, part.First - BRIDGE_BLOCKS * shared.BlockFrames);
    part.FramesDecoded += ReadFrames(*stream, shared, bridgeStart, part.First,
                                     [&](const float* samples, int64_t, int64_t frames) {
                                       ebur128_add_frames_float(part.Bridge.get(), samples,
                                                                static_cast<size_t>(frames));
                                     });
  }

  part.Sum.assign(nch, 0.0);
  int64_t inBlock = 0;
  std::vector<int64_t> runStart(nch, -1);
  const int64_t window = shared.BlockFrames * BLOCKS_PER_WINDOW;
  // The sums, the peak map and the clipping runs come from one pass over
  // each channel, made when any of them is wanted.
  const bool perChannel = needs.TruePeak || needs.SamplePeak || needs.Clipping || needs.DcOffset;
  std::vector<float> secondPeak(nch, 0.0f);
  int64_t inSecond = 0;
  auto closeSecond = [&] {
    if (perChannel)
      part.SecondPeak.insert(part.SecondPeak.end(), secondPeak.begin(), secondPeak.end());
    std::fill(secondPeak.begin(), secondPeak.end(), 0.0f);
    inSecond = 0;
  };
  double wLL = 0, wRR = 0, wLR = 0;
  int64_t inWindow = 0;
  const bool correlation = channels == 2 && needs.Correlation;
  const float posFull = shared.PositiveFull;
  const float negFull = shared.NegativeFull;

  auto closeRun = [&](size_t c, int64_t end) {
    const int64_t start = runStart[c];
    runStart[c] = -1;
    // Runs touching the part's ends are kept whatever their length: the
    // neighbouring part may continue them.
    if (end - start >= input.ClipRunSamples || start == part.First || end == part.End)
      part.Runs.push_back({static_cast<int32_t>(c), start, end - start});
  };

  part.FramesRead = ReadFrames(
      *stream, shared, part.First, part.End,
      [&](const float* samples, int64_t first, int64_t frames) {
        // Segments end at block boundaries (the peak map's and the
        // correlation windows' boundaries are block boundaries too), and each
        // segment is run channel by channel so the filter stays in registers.
        for (int64_t done = 0; done < frames;) {
          const int64_t length = std::min(frames - done, shared.BlockFrames - inBlock);
          const float* segment = samples + static_cast<size_t>(done) * nch;
          const int64_t segmentStart = first + done;
          if (part.State)
            ebur128_add_frames_float(part.State.get(), segment, static_cast<size_t>(length));
          if (part.Bridge && segmentStart < bridgeEnd)
            ebur128_add_frames_float(
                part.Bridge.get(), segment,
                static_cast<size_t>(std::min(length, bridgeEnd - segmentStart)));
          for (size_t c = 0; c < (perChannel ? nch : 0); ++c) {
            double sum = 0;
            float peak = secondPeak[c];
            int64_t run = runStart[c];
            for (int64_t i = 0; i < length; ++i) {
              const float x = segment[static_cast<size_t>(i) * nch + c];
              sum += x;
              peak = std::max(peak, std::fabs(x));
              if (x >= posFull || x <= negFull) {
                if (run < 0) run = segmentStart + i;
              } else if (run >= 0) {
                runStart[c] = run;
                closeRun(c, segmentStart + i);
                run = -1;
              }
            }
            part.Sum[c] += sum;
            secondPeak[c] = peak;
            runStart[c] = run;
          }
          if (correlation) {
            for (int64_t i = 0; i < length; ++i) {
              const double l = segment[static_cast<size_t>(i) * 2],
                           r = segment[static_cast<size_t>(i) * 2 + 1];
              wLL += l * l;
              wRR += r * r;
              wLR += l * r;
            }
            inWindow += length;
            if (inWindow == window) {
              part.LL += wLL;
              part.RR += wRR;
              part.LR += wLR;
              if (part.FirstLowCorrelationFrame < 0 && wLL > 0 && wRR > 0 &&
                  wLR / std::sqrt(wLL * wRR) < input.CorrelationLimit)
                part.FirstLowCorrelationFrame = segmentStart + length - window;
              wLL = wRR = wLR = 0;
              inWindow = 0;
            }
          }
          done += length;
          inSecond += length;
          if (inSecond == shared.PeakFrames) closeSecond();
          inBlock += length;
          if (inBlock == shared.BlockFrames && part.State) {
            // The library's K-weighted, channel-weighted energy of the block
            // just completed; within the bridge's reach from the bridge, whose
            // filter has run in on the audio before the part.
            ebur128_state* meter = part.Bridge && segmentStart + length <= bridgeEnd
                                       ? part.Bridge.get()
                                       : part.State.get();
            double loudness = 0;
            double energy = 0;
            if (ebur128_loudness_window(meter, BLOCK_MS, &loudness) == EBUR128_SUCCESS &&
                std::isfinite(loudness))
              energy = std::pow(10.0, (loudness + 0.691) / 10.0);
            part.BlockEnergy.push_back(energy);
          }
          if (inBlock == shared.BlockFrames) inBlock = 0;
        }
      });
  part.FramesDecoded += part.FramesRead;
  if (inSecond > 0) closeSecond();
  const int64_t end = part.First + part.FramesRead;
  // The gating blocks across the part's end (see GATING_POST_ROLL_BLOCKS).
  if (part.State && end == part.End && part.End < shared.Frames) {
    part.FramesDecoded += ReadFrames(
        *stream, shared, part.End,
        std::min(shared.Frames, part.End + GATING_POST_ROLL_BLOCKS * shared.BlockFrames),
        [&](const float* samples, int64_t, int64_t frames) {
          ebur128_add_frames_float(part.State.get(), samples, static_cast<size_t>(frames));
        });
  }
  for (size_t c = 0; c < nch; ++c)
    if (runStart[c] >= 0) closeRun(c, end);
  // The last, incomplete correlation window still counts in the sums.
  part.LL += wLL;
  part.RR += wRR;
  part.LR += wLR;
}

// The most an interpolated value can exceed the largest magnitude of the
// samples around it: the sum of the magnitudes of one phase's coefficients of
// the library's interpolator, found by feeding it the worst sign pattern of a
// band-limited interpolator at several fractional offsets (about 1.86 for the
// 4x filter, 2.31 for the 2x filter, 1 without oversampling), with a margin.
double InterpolatorGain(uint32_t rate) {
  constexpr int PATTERN = 64;
  double gain = 0;
  for (int step = 0; step < 8; ++step) {
    const double offset = step / 8.0;
    float x[PATTERN];
    for (int i = 0; i < PATTERN; ++i) {
      const double d = i - PATTERN / 2 + offset;
      const double sinc =
          std::fabs(d) < 1e-9 ? 1.0 : std::sin(std::numbers::pi * d) / (std::numbers::pi * d);
      x[i] = sinc >= 0 ? 1.0f : -1.0f;
    }
    TStatePtr state(ebur128_init(1, rate, EBUR128_MODE_TRUE_PEAK));
    if (!state) return 4.0;
    double peak = 0;
    ebur128_add_frames_float(state.get(), x, PATTERN);
    if (ebur128_true_peak(state.get(), 0, &peak) == EBUR128_SUCCESS) gain = std::max(gain, peak);
  }
  return gain * 1.02;
}

// A stretch of the data [First, End) whose true peak is measured.
struct TPeakStretch {
  int64_t First = 0;
  int64_t End = 0;
};

// The stretches whose interpolated values could exceed the channel's sample
// peak: the pieces of the peak map where the gain times the largest magnitude
// in the piece and its neighbours is above it. Elsewhere the true peak cannot exceed the
// sample peak, so the library's (costly) oversampling runs only here.
std::vector<TPeakStretch> TruePeakStretches(const std::vector<float>& secondPeak, size_t channels,
                                            const std::vector<double>& samplePeak, double gain,
                                            int64_t window, int64_t frames) {
  const size_t seconds = channels > 0 ? secondPeak.size() / channels : 0;
  auto peak = [&](size_t second, size_t c) {
    return static_cast<double>(secondPeak[second * channels + c]);
  };
  std::vector<TPeakStretch> stretches;
  for (size_t s = 0; s < seconds; ++s) {
    bool candidate = false;
    for (size_t c = 0; c < channels && !candidate; ++c) {
      double around = peak(s, c);
      if (s > 0) around = std::max(around, peak(s - 1, c));
      if (s + 1 < seconds) around = std::max(around, peak(s + 1, c));
      candidate = gain * around > samplePeak[c];
    }
    if (!candidate) continue;
    const int64_t first =
        std::max<int64_t>(0, static_cast<int64_t>(s) * window - TRUE_PEAK_CONTEXT);
    const int64_t end =
        std::min<int64_t>(frames, static_cast<int64_t>(s + 1) * window + TRUE_PEAK_CONTEXT);
    if (!stretches.empty() && stretches.back().End >= first)
      stretches.back().End = end;
    else
      stretches.push_back({first, end});
  }
  return stretches;
}

// The library's true peak of each channel over the stretches, each measured
// by a state of its own. The context fed before a stretch lies in a second
// that is no candidate, so whatever the interpolator makes of it (starting
// from silence) stays at or below the sample peak.
bool MeasureTruePeaks(const TShared& shared, const std::vector<TPeakStretch>& stretches,
                      size_t first, size_t step, std::vector<double>& truePeak,
                      int64_t& framesRead) {
  const TPcmFormat& format = *shared.Format;
  std::unique_ptr<TFileStream> stream =
      TFileStream::Open(shared.Input->FileName, FileMode::OpenRead);
  if (!stream) return false;
  for (size_t i = first; i < stretches.size(); i += step) {
    TStatePtr state(ebur128_init(static_cast<unsigned>(format.Channels), format.SamplesPerSec,
                                 EBUR128_MODE_TRUE_PEAK));
    if (!state) return false;
    framesRead +=
        ReadFrames(*stream, shared, stretches[i].First, stretches[i].End,
                   [&](const float* samples, int64_t, int64_t frames) {
                     ebur128_add_frames_float(state.get(), samples, static_cast<size_t>(frames));
                   });
    for (unsigned c = 0; c < static_cast<unsigned>(format.Channels); ++c) {
      double peak = 0;
      if (ebur128_true_peak(state.get(), c, &peak) == EBUR128_SUCCESS)
        truePeak[c] = std::max(truePeak[c], peak);
    }
  }
  return true;
}

// Joins runs that continue across part boundaries and keeps those long enough.
std::vector<TClipRun> MergeRuns(std::vector<TClipRun> runs, int32_t minimum) {
  std::sort(runs.begin(), runs.end(), [](const TClipRun& a, const TClipRun& b) {
    return a.Channel != b.Channel ? a.Channel < b.Channel : a.Frame < b.Frame;
  });
  std::vector<TClipRun> joined;
  for (const TClipRun& run : runs) {
    if (!joined.empty() && joined.back().Channel == run.Channel &&
        joined.back().Frame + joined.back().Length == run.Frame)
      joined.back().Length += run.Length;
    else
      joined.push_back(run);
  }
  std::vector<TClipRun> kept;
  for (const TClipRun& run : joined)
    if (run.Length >= minimum) kept.push_back(run);
  std::sort(kept.begin(), kept.end(), [](const TClipRun& a, const TClipRun& b) {
    return a.Frame != b.Frame ? a.Frame < b.Frame : a.Channel < b.Channel;
  });
  return kept;
}

double MaxWindowLoudness(const std::vector<double>& energy, size_t blocks) {
  // Windows ending at every block; those at the start are padded with
  // silence, as a meter starting on the first sample sees them.
  double best = 0;
  for (size_t end = 0; end < energy.size(); ++end) {
    const size_t begin = end + 1 >= blocks ? end + 1 - blocks : 0;
    double sum = 0;
    for (size_t b = begin; b <= end; ++b) sum += energy[b];
    best = std::max(best, sum / static_cast<double>(blocks));
  }
  return LoudnessOfEnergy(best);
}

}  // namespace

std::vector<TChannelRole> ChannelRoles(int32_t channels, uint32_t channelMask) {
  std::vector<TChannelRole> roles;
  if (channels <= 0) return roles;
  const uint32_t mask = channelMask != 0 ? channelMask : DefaultMask(channels);
  const bool hasSides = (mask & (SPEAKER_SIDE_LEFT | SPEAKER_SIDE_RIGHT)) != 0;
  for (int bit = 0; bit < 32 && roles.size() < static_cast<size_t>(channels); ++bit) {
    const uint32_t speaker = 1u << bit;
    if ((mask & speaker) == 0) continue;
    TChannelRole role = TChannelRole::Front;
    if (speaker == SPEAKER_LOW_FREQUENCY) {
      role = TChannelRole::Lfe;
    } else if (speaker == SPEAKER_BACK_LEFT || speaker == SPEAKER_BACK_RIGHT) {
      // The back pair is the surround pair of 5.1; beside side channels it is
      // the rear pair.
      role = hasSides ? TChannelRole::Rear : TChannelRole::Surround;
    } else if (speaker == SPEAKER_SIDE_LEFT || speaker == SPEAKER_SIDE_RIGHT) {
      role = TChannelRole::Surround;
    } else if (speaker == SPEAKER_BACK_CENTER) {
      role = TChannelRole::Rear;
    }
    roles.push_back(role);
  }
  roles.resize(static_cast<size_t>(channels), TChannelRole::Front);
  return roles;
}

double ChannelWeight(TChannelRole role) {
  switch (role) {
    case TChannelRole::Lfe: return 0.0;
    case TChannelRole::Surround: return SURROUND_WEIGHT;
    case TChannelRole::Front:
    case TChannelRole::Rear: break;
  }
  return 1.0;
}

int64_t BlockFrames(uint32_t sampleRate) { return (static_cast<int64_t>(sampleRate) + 5) / 10; }

TMeterResult MeasureLoudness(const TMeterInput& input) {
  TMeterResult result;
  const TPcmFormat& format = input.Format;
  if (!format.Supported()) {
    result.NotMeasured = format.Reason;
    return result;
  }
  if (format.Channels > MAX_LOUDNESS_CHANNELS) {
    result.NotMeasured = std::to_string(format.Channels) + " channels, more than " +
                         std::to_string(MAX_LOUDNESS_CHANNELS);
    return result;
  }
  if (format.SamplesPerSec < MIN_LOUDNESS_RATE || format.SamplesPerSec > MAX_LOUDNESS_RATE) {
    result.NotMeasured = "sample rate " + std::to_string(format.SamplesPerSec) + " Hz, outside " +
                         std::to_string(MIN_LOUDNESS_RATE) + ".." +
                         std::to_string(MAX_LOUDNESS_RATE) + " Hz";
    return result;
  }
  std::unique_ptr<TFileStream> probe = TFileStream::Open(input.FileName, FileMode::OpenRead);
  if (!probe) {
    result.NotMeasured = "the file cannot be read";
    return result;
  }

  const int64_t frameBytes = format.FrameBytes;
  // What the file really holds after the data's start may be less than the
  // chunk declares; a negative declared size or an offset past the end
  // counts as nothing.
  const int64_t available = std::max<int64_t>(0, probe->Size() - input.DataOffset);
  const int64_t declared = std::max<int64_t>(0, input.DataSize);
  probe.reset();
  result.FramesDeclared = declared / frameBytes;
  const int64_t frames = std::min(declared, available) / frameBytes;
  const TMeterNeeds& needs = input.Needs;
  if (!needs.Any()) {
    // Nothing to measure: what could be read is what the file holds.
    result.Roles = ChannelRoles(format.Channels, input.ChannelMask);
    result.FramesMeasured = frames;
    result.Cancelled = Cancelled(input);
    return result;
  }

  TShared shared;
  shared.Input = &input;
  shared.Format = &format;
  shared.Roles = ChannelRoles(format.Channels, input.ChannelMask);
  shared.BlockFrames = BlockFrames(format.SamplesPerSec);
  shared.Frames = frames;
  if (format.IsFloat()) {
    shared.PositiveFull = 1.0f;
    shared.NegativeFull = -1.0f;
  } else {
    const double scale = std::ldexp(1.0, format.ValidBits - 1);
    shared.PositiveFull = static_cast<float>((scale - 1.0) / scale);
    shared.NegativeFull = -1.0f;
  }
  result.Roles = shared.Roles;
  // The peak map holds one float per channel and 100 ms; beyond 8 Mi values
  // (a day of stereo, 5 hours of 5.1) it holds them per second instead.
  shared.PeakFrames = shared.BlockFrames;
  if (frames / shared.BlockFrames * format.Channels > (int64_t{8} << 20))
    shared.PeakFrames = shared.BlockFrames * BLOCKS_PER_WINDOW;

  // Parts start at whole correlation windows (whole blocks).
  const int64_t window = shared.BlockFrames * BLOCKS_PER_WINDOW;
  int32_t parts = input.Parts;
  if (parts <= 0) {
    const int64_t minimum = static_cast<int64_t>(MIN_PART_SECONDS) * format.SamplesPerSec;
    const auto cores = static_cast<int32_t>(UsableProcessorCount());
    parts =
        static_cast<int32_t>(std::clamp<int64_t>(frames / minimum, 1, std::min(cores, MAX_PARTS)));
  }
  parts =
      static_cast<int32_t>(std::clamp<int64_t>(parts, 1, std::max<int64_t>(1, frames / window)));

  std::vector<TPart> list(static_cast<size_t>(parts));
  const int64_t windows = frames / window;
  for (int32_t p = 0; p < parts; ++p) {
    TPart& part = list[static_cast<size_t>(p)];
    part.First = p == 0 ? 0 : windows * p / parts * window;
    part.End = p + 1 == parts ? frames : windows * (p + 1) / parts * window;
    if (!needs.Loudness) continue;
    part.State.reset(ebur128_init(static_cast<unsigned>(format.Channels), format.SamplesPerSec,
                                  EBUR128_MODE_I | EBUR128_MODE_LRA));
    if (p > 0)
      part.Bridge.reset(ebur128_init(static_cast<unsigned>(format.Channels), format.SamplesPerSec,
                                     EBUR128_MODE_LRA));
    if (!part.State || (p > 0 && !part.Bridge)) {
      result.NotMeasured = "the loudness meter cannot be set up";
      return result;
    }
    for (size_t c = 0; c < shared.Roles.size(); ++c) {
      ebur128_set_channel(part.State.get(), static_cast<unsigned>(c),
                          LibraryChannel(shared.Roles[c]));
      if (part.Bridge)
        ebur128_set_channel(part.Bridge.get(), static_cast<unsigned>(c),
                            LibraryChannel(shared.Roles[c]));
    }
  }

  {
    std::vector<std::thread> threads;
    for (size_t p = 1; p < list.size(); ++p)
      threads.emplace_back([&shared, &list, p] { MeasurePart(shared, list[p]); });
    MeasurePart(shared, list[0]);
    for (std::thread& thread : threads) thread.join();
  }

  // The measurement covers the parts up to the first one that came short.
  std::vector<ebur128_state*> gatingStates;
  std::vector<ebur128_state*> rangeStates;
  std::vector<double> energy;
  std::vector<TClipRun> runs;
  std::vector<float> secondPeak;
  result.ChannelMean.assign(static_cast<size_t>(format.Channels), 0.0);
  result.TruePeak.assign(static_cast<size_t>(format.Channels), 0.0);
  result.SamplePeak.assign(static_cast<size_t>(format.Channels), 0.0);
  double LL = 0, RR = 0, LR = 0;
  for (const TPart& part : list) result.FramesRead += part.FramesDecoded;
  for (TPart& part : list) {
    if (part.Failed) {
      result.NotMeasured = "the file cannot be read";
      return result;
    }
    if (part.State) {
      gatingStates.push_back(part.State.get());
      rangeStates.push_back(part.State.get());
    }
    if (part.Bridge) rangeStates.push_back(part.Bridge.get());
    energy.insert(energy.end(), part.BlockEnergy.begin(), part.BlockEnergy.end());
    runs.insert(runs.end(), part.Runs.begin(), part.Runs.end());
    for (size_t c = 0; c < part.Sum.size(); ++c) result.ChannelMean[c] += part.Sum[c];
    secondPeak.insert(secondPeak.end(), part.SecondPeak.begin(), part.SecondPeak.end());
    LL += part.LL;
    RR += part.RR;
    LR += part.LR;
    if (result.FirstLowCorrelationFrame < 0)
      result.FirstLowCorrelationFrame = part.FirstLowCorrelationFrame;
    result.FramesMeasured += part.FramesRead;
    if (part.First + part.FramesRead < part.End) break;
  }
  // Sample peaks, then the true peaks where they can exceed them.
  const size_t nch = static_cast<size_t>(format.Channels);
  for (size_t i = 0; i < secondPeak.size(); ++i)
    result.SamplePeak[i % nch] =
        std::max(result.SamplePeak[i % nch], static_cast<double>(secondPeak[i]));
  if (needs.TruePeak) {
    result.TruePeak = result.SamplePeak;
    const std::vector<TPeakStretch> stretches = TruePeakStretches(
        secondPeak, nch, result.SamplePeak, InterpolatorGain(format.SamplesPerSec),
        shared.PeakFrames, result.FramesMeasured);
    const size_t threads = std::min<size_t>(list.size(), std::max<size_t>(1, stretches.size()));
    std::vector<std::vector<double>> peaks(threads, result.TruePeak);
    std::vector<char> ok(threads, 1);
    std::vector<int64_t> decoded(threads, 0);
    std::vector<std::thread> workers;
    for (size_t t = 1; t < threads; ++t)
      workers.emplace_back([&, t] {
        ok[t] = MeasureTruePeaks(shared, stretches, t, threads, peaks[t], decoded[t]);
      });
    ok[0] = MeasureTruePeaks(shared, stretches, 0, threads, peaks[0], decoded[0]);
    for (std::thread& worker : workers) worker.join();
    for (size_t t = 0; t < threads; ++t) {
      result.FramesRead += decoded[t];
      if (!ok[t]) {
        result.NotMeasured = "the file cannot be read";
        return result;
      }
      for (size_t c = 0; c < nch; ++c)
        result.TruePeak[c] = std::max(result.TruePeak[c], peaks[t][c]);
    }
    for (const TPeakStretch& stretch : stretches)
      result.TruePeakFrames += stretch.End - stretch.First;
  } else {
    result.TruePeak.clear();
  }
  if (!needs.SamplePeak && !needs.TruePeak) result.SamplePeak.clear();
  if (!needs.DcOffset) result.ChannelMean.clear();

  result.Cancelled = Cancelled(input);
  result.PartsUsed = parts;
  for (double& mean : result.ChannelMean)
    mean = result.FramesMeasured > 0 ? mean / static_cast<double>(result.FramesMeasured) : 0.0;

  if (needs.Loudness) {
    result.Integrated = MINUS_INF;
    double value = 0;
    if (ebur128_loudness_global_multiple(gatingStates.data(), gatingStates.size(), &value) ==
        EBUR128_SUCCESS)
      result.Integrated = value;
    result.Range = 0;
    if (ebur128_loudness_range_multiple(rangeStates.data(), rangeStates.size(), &value) ==
        EBUR128_SUCCESS)
      result.Range = value;
    result.MaxMomentary = MaxWindowLoudness(energy, 4);
    result.MaxShortTerm = MaxWindowLoudness(energy, 30);
  }
  if (needs.Clipping)
    result.ClipRuns = MergeRuns(std::move(runs), std::max(1, input.ClipRunSamples));
  if (format.Channels == 2 && LL > 0 && RR > 0) {
    result.HasCorrelation = true;
    result.Correlation = LR / std::sqrt(LL * RR);
  }
  return result;
}

}  // namespace riffo
