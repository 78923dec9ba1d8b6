// The inputs of a validate run: the paths given, the folders walked, the
// lists read, each file with the name it is shown under and the relative
// name its report gets below --output-dir.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace riffo::cli {

struct TBatchInput {
  std::string Path;      // as given, or the folder as given joined with the name found
  std::string Relative;  // below the output folder, never leaving it
};

// True for .wav, .wave, .bwf and .rf64 in any letter case.
bool HasWavExtension(const std::string& name);

// Expands every path: a folder is walked recursively in name order (hidden
// entries skipped, a folder reached twice through links walked once, only
// files with a WAV extension kept); anything else is kept as given, to be
// found UNREADABLE later if it cannot be read. False with a reason when a
// folder holds no WAV file.
bool ExpandInputs(const std::vector<std::string>& paths, std::vector<TBatchInput>& inputs,
                  std::string& error);

// Reads a list of paths from a file ("-" is standard input): one a line, or
// separated by NUL bytes. Empty entries are skipped. False with a reason
// when the list cannot be read.
bool ReadPathList(const std::string& listName, bool nulSeparated, std::vector<std::string>& paths,
                  std::string& error);

// The shard (0-based) a path falls in: a stable hash of the path's bytes
// (64-bit FNV-1a), the same on every machine and in every run.
uint32_t ShardOf(const std::string& path, uint32_t shardCount);

// Parses "K/N" (1 <= K <= N); false on anything else.
bool ParseShard(const std::string& text, uint32_t& shard, uint32_t& shardCount);

// The name a path is mirrored under: no leading "/", no "." components, and
// ".." turned into "__", so the result always stays below the output folder.
std::string MirrorName(const std::string& path);

}  // namespace riffo::cli
