// Reads PDFs back with the command-line tools (poppler-utils, qpdf): the text
// and its order, the page count, the metadata, the outline, word positions.
// A test that needs a missing tool skips itself.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "support/TempFolder.h"

namespace riffo::test {

inline bool HaveTool(const std::string& tool) {
  const std::string command = "command -v " + tool + " >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

#define RIFFO_REQUIRE_TOOL(tool)                                                  \
  do {                                                                            \
    if (!::riffo::test::HaveTool(tool)) GTEST_SKIP() << tool " is not installed"; \
  } while (0)

inline std::string Quote(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'')
      out += "'\\''";
    else
      out += c;
  }
  return out + "'";
}

struct TRun {
  int Status = -1;
  std::string Output;
};

inline TRun Run(const std::string& command) {
  TRun run;
  FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.Output.append(buffer, n);
  const int status = ::pclose(pipe);
  run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

// The text of one page (0: all pages), laid out as on the page.
inline std::string PdfText(const std::string& path, int page = 0) {
  std::string range;
  if (page > 0) range = " -f " + std::to_string(page) + " -l " + std::to_string(page);
  return Run("pdftotext -layout" + range + " " + Quote(path) + " -").Output;
}

// One "Key: value" of pdfinfo.
inline std::string PdfInfo(const std::string& path, const std::string& key) {
  const std::string info = Run("pdfinfo " + Quote(path)).Output;
  const std::regex line("(^|\n)" + key + ":[ \t]*([^\n]*)");
  std::smatch m;
  return std::regex_search(info, m, line) ? m[2].str() : std::string();
}

inline int PdfPages(const std::string& path) {
  const std::string pages = PdfInfo(path, "Pages");
  return pages.empty() ? -1 : std::stoi(pages);
}

inline bool QpdfCheck(const std::string& path) {
  return Run("qpdf --check " + Quote(path) + " >/dev/null").Status == 0;
}

struct TOutlineEntry {
  std::string Title;
  int Page = 0;  // 1-based, 0 when the entry points nowhere
};

inline std::vector<TOutlineEntry> PdfOutline(const std::string& path) {
  const std::string json = Run("qpdf --json --json-key=outlines " + Quote(path)).Output;
  std::vector<TOutlineEntry> entries;
  // Each entry carries "destpageposfrom1" and "title"; qpdf writes the keys
  // of an object in sorted order.
  const std::regex entry("\"destpageposfrom1\":\\s*(null|\\d+)[^}]*?\"title\":\\s*\"([^\"]*)\"");
  for (std::sregex_iterator it(json.begin(), json.end(), entry), end; it != end; ++it) {
    const std::string page = (*it)[1].str();
    entries.push_back({(*it)[2].str(), page == "null" ? 0 : std::stoi(page)});
  }
  return entries;
}

struct TWord {
  std::string Text;
  double XMin = 0, YMin = 0, XMax = 0, YMax = 0;
  int Page = 0;
};

// Every word with its box, in reading order (pdftotext -bbox).
inline std::vector<TWord> PdfWords(const std::string& path) {
  const std::string html = Run("pdftotext -bbox " + Quote(path) + " -").Output;
  std::vector<TWord> words;
  const std::regex token(
      "<page |<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"([0-9.]+)\" "
      "yMax=\"([0-9.]+)\">([^<]*)</word>");
  int page = 0;
  for (std::sregex_iterator it(html.begin(), html.end(), token), end; it != end; ++it) {
    if ((*it)[1].length() == 0) {
      ++page;
      continue;
    }
    words.push_back({(*it)[5].str(), std::stod((*it)[1].str()), std::stod((*it)[2].str()),
                     std::stod((*it)[3].str()), std::stod((*it)[4].str()), page});
  }
  return words;
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

inline size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

}  // namespace riffo::test
