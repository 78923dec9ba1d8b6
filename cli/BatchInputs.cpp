#include "cli/BatchInputs.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <utility>

#include "platform/Text.h"

namespace riffo::cli {

namespace {

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

struct TDirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

using TVisited = std::set<std::pair<dev_t, ino_t>>;

// Walks one folder; found gets the files in name order, folders after the
// files of the same level are walked where they sort.
void WalkFolder(const std::string& folder, const std::string& relative, TVisited& visited,
                std::vector<TBatchInput>& found) {
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return;
  // A folder reached again through a link (or a loop) is walked once.
  if (!visited.insert({info.st_dev, info.st_ino}).second) return;
  std::unique_ptr<DIR, TDirCloser> dir(::opendir(folder.c_str()));
  if (!dir) return;
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (name.empty() || name[0] == '.') continue;  // hidden, "." and ".."
    names.push_back(name);
  }
  dir.reset();
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    const std::string path = JoinPath(folder, name);
    const std::string rel = relative.empty() ? name : relative + "/" + name;
    struct stat entryInfo {};
    if (::stat(path.c_str(), &entryInfo) != 0) {
      // A dangling link or a vanished entry: kept when it looks like a WAV
      // file, so it is reported rather than silently dropped.
      if (HasWavExtension(name)) found.push_back({path, rel});
      continue;
    }
    if (S_ISDIR(entryInfo.st_mode))
      WalkFolder(path, rel, visited, found);
    else if (HasWavExtension(name))
      found.push_back({path, rel});
  }
}

}  // namespace

bool HasWavExtension(const std::string& name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || name.find('/', dot) != std::string::npos) return false;
  const std::string extension = LowerAscii(name.substr(dot));
  return extension == ".wav" || extension == ".wave" || extension == ".bwf" || extension == ".rf64";
}

std::string MirrorName(const std::string& path) {
  std::string out;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    std::string part = path.substr(start, end - start);
    if (part == "..") part = "__";
    if (!part.empty() && part != ".") out += (out.empty() ? "" : "/") + part;
    start = end + 1;
  }
  return out;
}

bool ExpandInputs(const std::vector<std::string>& paths, std::vector<TBatchInput>& inputs,
                  std::string& error) {
  TVisited visited;
  for (const std::string& path : paths) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
      std::vector<TBatchInput> found;
      WalkFolder(path, MirrorName(path), visited, found);
      if (found.empty()) {
        // A folder reached before through another name has given its files.
        struct stat again {};
        if (::stat(path.c_str(), &again) == 0 && visited.count({again.st_dev, again.st_ino}) != 0 &&
            !inputs.empty())
          continue;
        error = "no WAV files found in " + path;
        return false;
      }
      inputs.insert(inputs.end(), found.begin(), found.end());
    } else {
      inputs.push_back({path, MirrorName(path)});
    }
  }
  return true;
}

bool ReadPathList(const std::string& listName, bool nulSeparated, std::vector<std::string>& paths,
                  std::string& error) {
  std::FILE* file = listName == "-" ? stdin : std::fopen(listName.c_str(), "rb");
  if (file == nullptr) {
    error = "cannot read " + listName + ": " + std::strerror(errno);
    return false;
  }
  const char separator = nulSeparated ? '\0' : '\n';
  std::string entry;
  bool ok = true;
  for (;;) {
    const int c = std::fgetc(file);
    if (c == EOF) {
      ok = std::ferror(file) == 0;
      break;
    }
    if (static_cast<char>(c) == separator) {
      if (!nulSeparated && !entry.empty() && entry.back() == '\r') entry.pop_back();
      if (!entry.empty()) paths.push_back(entry);
      entry.clear();
    } else {
      entry += static_cast<char>(c);
    }
  }
  if (!nulSeparated && !entry.empty() && entry.back() == '\r') entry.pop_back();
  if (!entry.empty()) paths.push_back(entry);
  if (file != stdin) std::fclose(file);
  if (!ok) error = "cannot read " + listName;
  return ok;
}

uint32_t ShardOf(const std::string& path, uint32_t shardCount) {
  uint64_t hash = 14695981039346656037ull;
  for (const char c : path) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  return shardCount == 0 ? 0 : static_cast<uint32_t>(hash % shardCount);
}

bool ParseShard(const std::string& text, uint32_t& shard, uint32_t& shardCount) {
  unsigned long k = 0, n = 0;
  int consumed = 0;
  if (std::sscanf(text.c_str(), "%lu/%lu%n", &k, &n, &consumed) != 2) return false;
  if (static_cast<size_t>(consumed) != text.size() || text[0] < '0' || text[0] > '9') return false;
  if (n == 0 || k == 0 || k > n || n > 1000000) return false;
  shard = static_cast<uint32_t>(k);
  shardCount = static_cast<uint32_t>(n);
  return true;
}

}  // namespace riffo::cli
