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
#include "platform/Stream.h"

namespace riffo {
namespace {

constexpr double MINUS_INF = -std::numeric_limits<double>::infinity();
constexpr double SURROUND_WEIGHT = 1.41;
// Pieces read at a time, in frames; with at most 64 channels of 8 bytes a
// piece stays under 32 MiB, and usually around 100 KiB.
constexpr int64_t PIECE_FRAMES = 8192;
// The filter of a part after the first is run in on this much audio first.
constexpr int64_t PRE_ROLL_SECONDS = 1;
// Correlation windows and part boundaries are this many 100 ms blocks.
constexpr int64_t BLOCKS_PER_WINDOW = 10;
constexpr int32_t MAX_PARTS = 4;

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

double Filter(TBiquad const& f, double x, double& z1, double& z2) {
  const double y = f.B0 * x + z1;
  z1 = f.B1 * x - f.A1 * y + z2;
  z2 = f.B2 * x - f.A2 * y;
  return y;
}

double LoudnessOfEnergy(double energy) {
  return energy <= 0 ? MINUS_INF : -0.691 + 10.0 * std::log10(energy);
}

// One stretch of the data, measured on its own thread.
struct TPart {
  int64_t First = 0;  // frames from the start of the data
  int64_t End = 0;
  TStatePtr State;
  std::vector<double> BlockEnergy;  // weighted mean squares of complete blocks
  std::vector<double> Sum;          // per channel
  std::vector<TClipRun> Runs;       // see MeasurePart
  double LL = 0, RR = 0, LR = 0;
  int64_t FirstLowCorrelationFrame = -1;
  int64_t FramesRead = 0;
  bool Failed = false;
};

struct TShared {
  const TMeterInput* Input;
  const TPcmFormat* Format;
  std::vector<TChannelRole> Roles;
  std::vector<double> Weights;
  TKWeighting K;
  int64_t BlockFrames;
  float PositiveFull;
  float NegativeFull;
};

bool Cancelled(const TMeterInput& input) { return input.Cancel && input.Cancel(); }

// Reads frames [from, to) piece by piece into samples; false on a short read
// or cancel, with FramesRead telling how far it got.
template <typename Each>
int64_t ReadFrames(TStream& stream, const TShared& shared, int64_t from, int64_t to,
                   Each each) {
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
  const int32_t channels = format.Channels;
  const size_t nch = static_cast<size_t>(channels);
  std::unique_ptr<TFileStream> stream = TFileStream::Open(input.FileName, FileMode::OpenRead);
  if (!stream) {
    part.Failed = true;
    return;
  }

  std::vector<double> s1(nch * 2, 0.0), s2(nch * 2, 0.0);  // filter states
  auto filterSample = [&](size_t c, double x) {
    const double y = Filter(shared.K.Shelf, x, s1[c * 2], s1[c * 2 + 1]);
    return Filter(shared.K.HighPass, y, s2[c * 2], s2[c * 2 + 1]);
  };

  // Run the filter in on the audio before the part.
  if (part.First > 0) {
    const int64_t preRoll =
        std::min(part.First, PRE_ROLL_SECONDS * static_cast<int64_t>(format.SamplesPerSec));
    ReadFrames(*stream, shared, part.First - preRoll, part.First,
               [&](const float* samples, int64_t, int64_t frames) {
                 for (int64_t i = 0; i < frames; ++i)
                   for (size_t c = 0; c < nch; ++c)
                     filterSample(c, samples[static_cast<size_t>(i) * nch + c]);
               });
  }

  part.Sum.assign(nch, 0.0);
  std::vector<double> blockSquares(nch, 0.0);
  int64_t inBlock = 0;
  std::vector<int64_t> runStart(nch, -1);
  const int64_t window = shared.BlockFrames * BLOCKS_PER_WINDOW;
  double wLL = 0, wRR = 0, wLR = 0;
  int64_t inWindow = 0;
  const bool stereo = channels == 2;
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
      *stream, shared, part.First, part.End, [&](const float* samples, int64_t first, int64_t frames) {
        ebur128_add_frames_float(part.State.get(), samples, static_cast<size_t>(frames));
        for (int64_t i = 0; i < frames; ++i) {
          const float* frame = samples + static_cast<size_t>(i) * nch;
          const int64_t position = first + i;
          for (size_t c = 0; c < nch; ++c) {
            const float x = frame[c];
            const double y = filterSample(c, x);
            blockSquares[c] += y * y;
            part.Sum[c] += x;
            const bool full = x >= posFull || x <= negFull;
            if (full) {
              if (runStart[c] < 0) runStart[c] = position;
            } else if (runStart[c] >= 0) {
              closeRun(c, position);
            }
          }
          if (stereo) {
            const double l = frame[0], r = frame[1];
            wLL += l * l;
            wRR += r * r;
            wLR += l * r;
            if (++inWindow == window) {
              part.LL += wLL;
              part.RR += wRR;
              part.LR += wLR;
              if (part.FirstLowCorrelationFrame < 0 && wLL > 0 && wRR > 0 &&
                  wLR / std::sqrt(wLL * wRR) < input.CorrelationLimit)
                part.FirstLowCorrelationFrame = position + 1 - window;
              wLL = wRR = wLR = 0;
              inWindow = 0;
            }
          }
          if (++inBlock == shared.BlockFrames) {
            double energy = 0;
            for (size_t c = 0; c < nch; ++c) {
              energy += shared.Weights[c] * blockSquares[c];
              blockSquares[c] = 0;
            }
            part.BlockEnergy.push_back(energy / static_cast<double>(shared.BlockFrames));
            inBlock = 0;
          }
        }
      });
  const int64_t end = part.First + part.FramesRead;
  for (size_t c = 0; c < nch; ++c)
    if (runStart[c] >= 0) closeRun(c, end);
  // The last, incomplete correlation window still counts in the sums.
  part.LL += wLL;
  part.RR += wRR;
  part.LR += wLR;
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

TKWeighting KWeightingFor(double rate) {
  TKWeighting k;
  {
    // High shelf of about +4 dB above 1.5 kHz (the head's acoustic effect).
    const double f0 = 1681.974450955533, gain = 3.999843853973347, q = 0.7071752369554196;
    const double K = std::tan(std::numbers::pi * f0 / rate);
    const double vh = std::pow(10.0, gain / 20.0);
    const double vb = std::pow(vh, 0.4996667741545416);
    const double a0 = 1.0 + K / q + K * K;
    k.Shelf.B0 = (vh + vb * K / q + K * K) / a0;
    k.Shelf.B1 = 2.0 * (K * K - vh) / a0;
    k.Shelf.B2 = (vh - vb * K / q + K * K) / a0;
    k.Shelf.A1 = 2.0 * (K * K - 1.0) / a0;
    k.Shelf.A2 = (1.0 - K / q + K * K) / a0;
  }
  {
    // Second-order high pass near 38 Hz.
    const double f0 = 38.13547087602444, q = 0.5003270373238773;
    const double K = std::tan(std::numbers::pi * f0 / rate);
    const double a0 = 1.0 + K / q + K * K;
    k.HighPass.B0 = 1.0;
    k.HighPass.B1 = -2.0;
    k.HighPass.B2 = 1.0;
    k.HighPass.A1 = 2.0 * (K * K - 1.0) / a0;
    k.HighPass.A2 = (1.0 - K / q + K * K) / a0;
  }
  return k;
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

  TShared shared;
  shared.Input = &input;
  shared.Format = &format;
  shared.Roles = ChannelRoles(format.Channels, input.ChannelMask);
  for (TChannelRole role : shared.Roles) shared.Weights.push_back(ChannelWeight(role));
  shared.K = KWeightingFor(format.SamplesPerSec);
  shared.BlockFrames = BlockFrames(format.SamplesPerSec);
  if (format.IsFloat()) {
    shared.PositiveFull = 1.0f;
    shared.NegativeFull = -1.0f;
  } else {
    const double scale = std::ldexp(1.0, format.ValidBits - 1);
    shared.PositiveFull = static_cast<float>((scale - 1.0) / scale);
    shared.NegativeFull = -1.0f;
  }
  result.Roles = shared.Roles;

  // Parts start at whole correlation windows (whole blocks).
  const int64_t window = shared.BlockFrames * BLOCKS_PER_WINDOW;
  int32_t parts = input.Parts;
  if (parts <= 0) {
    const int64_t minimum = static_cast<int64_t>(MIN_PART_SECONDS) * format.SamplesPerSec;
    const auto cores = static_cast<int32_t>(std::max(1u, std::thread::hardware_concurrency()));
    parts = static_cast<int32_t>(std::clamp<int64_t>(frames / minimum, 1, std::min(cores, MAX_PARTS)));
  }
  parts = static_cast<int32_t>(std::clamp<int64_t>(parts, 1, std::max<int64_t>(1, frames / window)));

  std::vector<TPart> list(static_cast<size_t>(parts));
  const int64_t windows = frames / window;
  for (int32_t p = 0; p < parts; ++p) {
    TPart& part = list[static_cast<size_t>(p)];
    part.First = p == 0 ? 0 : windows * p / parts * window;
    part.End = p + 1 == parts ? frames : windows * (p + 1) / parts * window;
    part.State.reset(ebur128_init(static_cast<unsigned>(format.Channels), format.SamplesPerSec,
                                  EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_TRUE_PEAK));
    if (!part.State) {
      result.NotMeasured = "the loudness meter cannot be set up";
      return result;
    }
    for (size_t c = 0; c < shared.Roles.size(); ++c)
      ebur128_set_channel(part.State.get(), static_cast<unsigned>(c), LibraryChannel(shared.Roles[c]));
  }

  {
    std::vector<std::thread> threads;
    for (size_t p = 1; p < list.size(); ++p)
      threads.emplace_back([&shared, &list, p] { MeasurePart(shared, list[p]); });
    MeasurePart(shared, list[0]);
    for (std::thread& thread : threads) thread.join();
  }

  // The measurement covers the parts up to the first one that came short.
  std::vector<ebur128_state*> states;
  std::vector<double> energy;
  std::vector<TClipRun> runs;
  result.ChannelMean.assign(static_cast<size_t>(format.Channels), 0.0);
  result.TruePeak.assign(static_cast<size_t>(format.Channels), 0.0);
  result.SamplePeak.assign(static_cast<size_t>(format.Channels), 0.0);
  double LL = 0, RR = 0, LR = 0;
  for (TPart& part : list) {
    if (part.Failed) {
      result.NotMeasured = "the file cannot be read";
      return result;
    }
    states.push_back(part.State.get());
    energy.insert(energy.end(), part.BlockEnergy.begin(), part.BlockEnergy.end());
    runs.insert(runs.end(), part.Runs.begin(), part.Runs.end());
    for (size_t c = 0; c < part.Sum.size(); ++c) result.ChannelMean[c] += part.Sum[c];
    for (unsigned c = 0; c < static_cast<unsigned>(format.Channels); ++c) {
      double peak = 0;
      if (ebur128_true_peak(part.State.get(), c, &peak) == EBUR128_SUCCESS)
        result.TruePeak[c] = std::max(result.TruePeak[c], peak);
      if (ebur128_sample_peak(part.State.get(), c, &peak) == EBUR128_SUCCESS)
        result.SamplePeak[c] = std::max(result.SamplePeak[c], peak);
    }
    LL += part.LL;
    RR += part.RR;
    LR += part.LR;
    if (result.FirstLowCorrelationFrame < 0) result.FirstLowCorrelationFrame = part.FirstLowCorrelationFrame;
    result.FramesMeasured += part.FramesRead;
    if (part.First + part.FramesRead < part.End) break;
  }
  result.Cancelled = Cancelled(input);
  result.PartsUsed = parts;
  for (double& mean : result.ChannelMean)
    mean = result.FramesMeasured > 0 ? mean / static_cast<double>(result.FramesMeasured) : 0.0;

  result.Integrated = MINUS_INF;
  double value = 0;
  if (ebur128_loudness_global_multiple(states.data(), states.size(), &value) == EBUR128_SUCCESS)
    result.Integrated = value;
  result.Range = 0;
  if (ebur128_loudness_range_multiple(states.data(), states.size(), &value) == EBUR128_SUCCESS)
    result.Range = value;
  result.MaxMomentary = MaxWindowLoudness(energy, 4);
  result.MaxShortTerm = MaxWindowLoudness(energy, 30);
  result.ClipRuns = MergeRuns(std::move(runs), std::max(1, input.ClipRunSamples));
  if (format.Channels == 2 && LL > 0 && RR > 0) {
    result.HasCorrelation = true;
    result.Correlation = LR / std::sqrt(LL * RR);
  }
  return result;
}

}  // namespace riffo
