// Small readers for what the report exporters write, strict enough to find a
// document that a real parser would reject: an XML well-formedness check
// that also collects the text of named elements, an RFC 4180 CSV record
// splitter, and a scan of the tags in an HTML page.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace riffo::fuzz {

// One decoded UTF-8 code point at text[pos] (advancing pos), or -1 when the
// bytes there are not UTF-8.
inline int32_t NextCodePoint(std::string_view text, size_t& pos) {
  const auto b0 = static_cast<uint8_t>(text[pos]);
  size_t need = b0 < 0x80             ? 1
                : (b0 & 0xE0) == 0xC0 ? 2
                : (b0 & 0xF0) == 0xE0 ? 3
                : (b0 & 0xF8) == 0xF0 ? 4
                                      : 0;
  if (need == 0 || text.size() - pos < need) return -1;
  int32_t cp = need == 1 ? b0 : need == 2 ? (b0 & 0x1F) : need == 3 ? (b0 & 0x0F) : (b0 & 0x07);
  for (size_t k = 1; k < need; ++k) {
    const auto b = static_cast<uint8_t>(text[pos + k]);
    if ((b & 0xC0) != 0x80) return -1;
    cp = (cp << 6) | (b & 0x3F);
  }
  pos += need;
  return cp;
}

// The characters XML 1.0 can carry at all.
inline bool IsXmlChar(int32_t cp) {
  return cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF) ||
         (cp >= 0xE000 && cp <= 0xFFFD) || (cp >= 0x10000 && cp <= 0x10FFFF);
}

inline void AppendUtf8(std::string& out, int32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

struct TXmlResult {
  bool WellFormed = false;
  std::string Error;
  // The decoded text of every element with one of the wanted names, in
  // document order, with the element's name.
  std::vector<std::pair<std::string, std::string>> Texts;
};

// Checks the document as XML 1.0 would: an optional declaration, one root
// element, balanced tags, quoted attributes without '<', only the five
// predefined and numeric character references, only XML characters, no "]]>"
// in text. Comments, processing instructions and CDATA are not expected in
// reports and are rejected.
class TXmlChecker {
public:
  TXmlChecker(std::string_view text, std::vector<std::string> wanted)
      : FText(text), FWanted(std::move(wanted)) {}

  TXmlResult Run() {
    TXmlResult result;
    FResult = &result;
    result.WellFormed = Document();
    return result;
  }

private:
  bool Error(const char* what) {
    FResult->Error = std::string(what) + " at byte " + std::to_string(FPos);
    return false;
  }
  bool AtEnd() const { return FPos >= FText.size(); }
  bool Starts(std::string_view what) const { return FText.substr(FPos, what.size()) == what; }
  void SkipBlanks() {
    while (!AtEnd() && (FText[FPos] == ' ' || FText[FPos] == '\t' || FText[FPos] == '\r' ||
                        FText[FPos] == '\n'))
      ++FPos;
  }
  static bool NameChar(char c, bool first) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' ||
           static_cast<uint8_t>(c) >= 0x80 ||
           (!first && ((c >= '0' && c <= '9') || c == '-' || c == '.'));
  }
  bool Name(std::string& name) {
    const size_t start = FPos;
    while (!AtEnd() && NameChar(FText[FPos], FPos == start)) ++FPos;
    if (FPos == start) return Error("a name expected");
    name = std::string(FText.substr(start, FPos - start));
    return true;
  }
  // One character of content or attribute value, references decoded.
  bool Char(std::string& out) {
    if (FText[FPos] == '&') {
      const size_t semicolon = FText.find(';', FPos);
      if (semicolon == std::string_view::npos || semicolon - FPos > 12)
        return Error("an unterminated reference");
      const std::string_view ref = FText.substr(FPos + 1, semicolon - FPos - 1);
      FPos = semicolon + 1;
      if (ref == "amp")
        out += '&';
      else if (ref == "lt")
        out += '<';
      else if (ref == "gt")
        out += '>';
      else if (ref == "quot")
        out += '"';
      else if (ref == "apos")
        out += '\'';
      else if (ref.size() > 1 && ref[0] == '#') {
        const bool hex = ref[1] == 'x';
        const std::string_view digits = ref.substr(hex ? 2 : 1);
        if (digits.empty()) return Error("an empty character reference");
        int64_t cp = 0;
        for (const char c : digits) {
          const int d = (c >= '0' && c <= '9')          ? c - '0'
                        : hex && (c >= 'a' && c <= 'f') ? c - 'a' + 10
                        : hex && (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                                        : -1;
          if (d < 0) return Error("a bad character reference");
          cp = cp * (hex ? 16 : 10) + d;
          if (cp > 0x10FFFF) return Error("a character reference out of range");
        }
        if (!IsXmlChar(static_cast<int32_t>(cp)))
          return Error("a reference to a character XML cannot carry");
        AppendUtf8(out, static_cast<int32_t>(cp));
      } else {
        return Error("an undefined entity");
      }
      return true;
    }
    const size_t start = FPos;
    const int32_t cp = NextCodePoint(FText, FPos);
    if (cp < 0) return Error("bytes that are not UTF-8");
    if (!IsXmlChar(cp)) return Error("a character XML cannot carry");
    out += std::string(FText.substr(start, FPos - start));
    return true;
  }
  bool Attributes() {
    std::vector<std::string> seen;
    for (;;) {
      const size_t before = FPos;
      SkipBlanks();
      if (AtEnd()) return Error("an unterminated tag");
      if (FText[FPos] == '>' || FText[FPos] == '/' || FText[FPos] == '?') return true;
      if (FPos == before) return Error("attributes without blanks between them");
      std::string name;
      if (!Name(name)) return false;
      for (const auto& other : seen)
        if (other == name) return Error("a repeated attribute");
      seen.push_back(name);
      SkipBlanks();
      if (AtEnd() || FText[FPos] != '=') return Error("an attribute without a value");
      ++FPos;
      SkipBlanks();
      if (AtEnd() || (FText[FPos] != '"' && FText[FPos] != '\''))
        return Error("an unquoted attribute value");
      const char quote = FText[FPos++];
      std::string value;
      while (!AtEnd() && FText[FPos] != quote) {
        if (FText[FPos] == '<') return Error("'<' in an attribute value");
        if (!Char(value)) return false;
      }
      if (AtEnd()) return Error("an unterminated attribute value");
      ++FPos;
    }
  }
  bool Element() {
    ++FPos;  // '<'
    std::string name;
    if (!Name(name)) return false;
    if (!Attributes()) return false;
    if (Starts("/>")) {
      FPos += 2;
      return true;
    }
    if (FText[FPos] != '>') return Error("a malformed start tag");
    ++FPos;
    std::string text;
    for (;;) {
      if (AtEnd()) return Error("an element not closed");
      if (Starts("</")) break;
      if (Starts("<!") || Starts("<?")) return Error("markup not expected in a report");
      if (FText[FPos] == '<') {
        if (++FDepth > 64) return Error("elements nested too deep");
        if (!Element()) return false;
        --FDepth;
        continue;
      }
      if (Starts("]]>")) return Error("']]>' in text");
      if (!Char(text)) return false;
    }
    FPos += 2;
    std::string closing;
    if (!Name(closing)) return false;
    if (closing != name) return Error("an end tag that does not match");
    SkipBlanks();
    if (AtEnd() || FText[FPos] != '>') return Error("a malformed end tag");
    ++FPos;
    for (const auto& wanted : FWanted)
      if (wanted == name) FResult->Texts.emplace_back(name, text);
    return true;
  }
  bool Document() {
    if (Starts("\xEF\xBB\xBF")) FPos += 3;
    if (Starts("<?xml")) {
      FPos += 5;
      if (!Attributes()) return false;
      if (!Starts("?>")) return Error("a malformed declaration");
      FPos += 2;
    }
    SkipBlanks();
    if (AtEnd() || FText[FPos] != '<') return Error("no root element");
    if (!Element()) return false;
    SkipBlanks();
    if (!AtEnd()) return Error("content after the root element");
    return true;
  }

  std::string_view FText;
  std::vector<std::string> FWanted;
  size_t FPos = 0;
  int FDepth = 0;
  TXmlResult* FResult = nullptr;
};

// Splits CSV text into records of fields: fields separated by commas,
// records ended by CR LF; a quoted field may hold commas, line breaks and
// doubled quotes. False when a quote is misplaced or not closed, or the text
// does not end with a record end.
inline bool SplitCsv(std::string_view text, std::vector<std::vector<std::string>>& records) {
  records.clear();
  size_t pos = 0;
  while (pos < text.size()) {
    std::vector<std::string> fields;
    for (;;) {
      std::string field;
      if (pos < text.size() && text[pos] == '"') {
        ++pos;
        for (;;) {
          if (pos >= text.size()) return false;
          if (text[pos] == '"') {
            if (pos + 1 < text.size() && text[pos + 1] == '"') {
              field += '"';
              pos += 2;
              continue;
            }
            ++pos;
            break;
          }
          field += text[pos++];
        }
      } else {
        while (pos < text.size() && text[pos] != ',' && text[pos] != '\r' && text[pos] != '\n') {
          if (text[pos] == '"') return false;
          field += text[pos++];
        }
      }
      fields.push_back(std::move(field));
      if (pos < text.size() && text[pos] == ',') {
        ++pos;
        continue;
      }
      if (text.substr(pos, 2) != "\r\n") return false;
      pos += 2;
      break;
    }
    records.push_back(std::move(fields));
  }
  return true;
}

// The names of every tag in an HTML page ("TD", "/TD", ...), or false when a
// '<' does not start a tag.
inline bool HtmlTags(std::string_view text, std::vector<std::string>& tags) {
  tags.clear();
  for (size_t pos = text.find('<'); pos != std::string_view::npos; pos = text.find('<', pos + 1)) {
    size_t end = pos + 1;
    if (end < text.size() && text[end] == '/') ++end;
    while (end < text.size() &&
           ((text[end] >= 'A' && text[end] <= 'Z') || (text[end] >= 'a' && text[end] <= 'z')))
      ++end;
    if (end == pos + 1 || (end == pos + 2 && text[pos + 1] == '/')) return false;
    tags.emplace_back(text.substr(pos + 1, end - pos - 1));
  }
  return true;
}

}  // namespace riffo::fuzz
