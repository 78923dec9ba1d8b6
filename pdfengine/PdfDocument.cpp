#include "pdfengine/PdfDocument.h"

#include <cairo-pdf.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <strings.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>
#include <stdexcept>

#include "platform/Files.h"
#include "platform/OutputFile.h"
#include "platform/Text.h"

namespace riffo::pdf {

namespace {

// A4 portrait with 20 mm side margins and 15 mm top and bottom margins.
constexpr double A4_WIDTH = 595.276;
constexpr double A4_HEIGHT = 841.890;
constexpr double MM = 72.0 / 25.4;

// A word too wide for its column is set smaller down to this share of the
// font size before it is broken inside.
constexpr double MIN_FIT_SCALE = 0.5;

constexpr double BAND_GAP = 6.0;       // between a header/footer and the body
constexpr double SEPARATOR_ROW = 4.0;  // height of a separator row; the line is in its middle
constexpr double SEPARATOR_WIDTH = 0.5;
constexpr double CELL_PAD_X = 1.0;  // inside each column, left and right
constexpr double CELL_PAD_Y = 1.0;  // above and below each row
constexpr double HEADER_RULE_WIDTH = 0.75;
constexpr double HEADER_RULE_GRAY = 0.6;

// ---- RAII for the C libraries

struct TCairoSurfaceFree {
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct TCairoFree {
  void operator()(cairo_t* c) const { cairo_destroy(c); }
};
struct TFontOptionsFree {
  void operator()(cairo_font_options_t* o) const { cairo_font_options_destroy(o); }
};
struct TGObjectFree {
  void operator()(gpointer o) const { g_object_unref(o); }
};
struct TFontDescriptionFree {
  void operator()(PangoFontDescription* d) const { pango_font_description_free(d); }
};
struct TAttrListFree {
  void operator()(PangoAttrList* a) const { pango_attr_list_unref(a); }
};

using TSurfacePtr = std::unique_ptr<cairo_surface_t, TCairoSurfaceFree>;
using TCairoPtr = std::unique_ptr<cairo_t, TCairoFree>;
using TFontOptionsPtr = std::unique_ptr<cairo_font_options_t, TFontOptionsFree>;
using TContextPtr = std::unique_ptr<PangoContext, TGObjectFree>;
using TFontDescriptionPtr = std::unique_ptr<PangoFontDescription, TFontDescriptionFree>;
using TAttrListPtr = std::unique_ptr<PangoAttrList, TAttrListFree>;
using TLayoutPtr = std::shared_ptr<PangoLayout>;

double FromPango(int units) { return static_cast<double>(units) / PANGO_SCALE; }
int ToPango(double points) { return static_cast<int>(points * PANGO_SCALE); }

// Pango wants valid UTF-8 without NUL bytes, and the PDF surface refuses the
// whole document over one noncharacter (U+FDD0..U+FDEF, U+FFFE and U+FFFF in
// any plane). The converter already turns lone surrogates into U+FFFD;
// noncharacters become U+FFFD here and NULs blanks.
std::string ToPangoText(std::u16string_view text) {
  std::u16string clean(text);
  for (size_t i = 0; i < clean.size(); ++i) {
    const char16_t c = clean[i];
    if ((c >= 0xFDD0 && c <= 0xFDEF) || c == 0xFFFE || c == 0xFFFF) clean[i] = 0xFFFD;
    // U+nFFFE and U+nFFFF of the other planes: a high surrogate whose low six
    // bits are all ones, then the low surrogate 0xDFFE or 0xDFFF.
    if (c >= 0xD800 && c <= 0xDBFF && (c & 0x3F) == 0x3F && i + 1 < clean.size() &&
        (clean[i + 1] == 0xDFFE || clean[i + 1] == 0xDFFF)) {
      clean.replace(i, 2, 1, u'\xFFFD');
    }
  }
  std::string utf8 = Utf16ToUtf8(clean);
  std::replace(utf8.begin(), utf8.end(), '\0', ' ');
  return utf8;
}

// The first "%d" becomes the page number, the second the page count, "%%" a
// percent sign; anything else is copied as it is (the format is data, so it
// never reaches printf).
std::u16string FormatPageNumber(const std::u16string& format, int page, int pageCount) {
  std::u16string out;
  int used = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] == u'%' && i + 1 < format.size()) {
      if (format[i + 1] == u'%') {
        out.push_back(u'%');
        ++i;
        continue;
      }
      if (format[i + 1] == u'd' && used < 2) {
        const std::string number = std::to_string(used == 0 ? page : pageCount);
        out.append(number.begin(), number.end());
        ++used;
        ++i;
        continue;
      }
    }
    out.push_back(format[i]);
  }
  return out;
}

// ---- recorded content

struct TLayoutState {
  TFontSpec Font;
  TTextAlign Align = TTextAlign::Left;
};

struct TBandText {
  std::u16string Text;
  TFontSpec Font;
  TTextAlign Align = TTextAlign::Left;
  double X = -1;
  bool PageNumbers = false;
};

struct TBandRow {
  bool Separator = false;
  std::vector<TBandText> Texts;
};

struct TColumn {
  double Percent = 0;
  TTextAlign Align = TTextAlign::Left;
  bool Wrap = true;
};
using TColumns = std::shared_ptr<const std::vector<TColumn>>;

enum class TCmdKind { Paragraph, NewLine, Space, NewPage, Bookmark, Headers, Row };

struct TCmd {
  TCmdKind Kind = TCmdKind::NewLine;
  TLayoutState Layout;
  double Lines = 0;                   // Space
  std::vector<std::u16string> Texts;  // paragraph text, bookmark name, titles, cells
  TColumns Columns;                   // Headers, Row
};

// ---- laid-out pages (the display list)

struct TDrawLine {
  TLayoutPtr Layout;
  int LineIndex = 0;
  double X = 0;  // where the line starts (alignment included)
  double Baseline = 0;
};

struct TDrawRule {
  double X1 = 0, Y = 0, X2 = 0, Width = 0, Gray = 0;
};

struct TDrawDest {
  std::string Name;
  double X = 0, Y = 0;
};

struct TPage {
  std::vector<TDrawLine> Lines;
  std::vector<TDrawRule> Rules;
  std::vector<TDrawDest> Dests;
};

// One line of a laid-out text, in the layout's own coordinates.
struct TLineBox {
  double Top = 0, Bottom = 0, Baseline = 0, X = 0;
};

// One text of a block: its layout, where its box starts and its lines.
struct TCell {
  TLayoutPtr Layout;
  double X = 0;
  std::vector<TLineBox> Lines;
};

// ---- font families

// The family fontconfig really uses for a requested name.
std::string MatchedFamily(const std::string& name) {
  std::string family;
  FcPattern* pattern = FcPatternCreate();
  if (pattern == nullptr) return family;
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcChar8* found = nullptr;
  if (match != nullptr && FcPatternGetString(match, FC_FAMILY, 0, &found) == FcResultMatch &&
      found != nullptr)
    family = reinterpret_cast<const char*>(found);
  if (match != nullptr) FcPatternDestroy(match);
  FcPatternDestroy(pattern);
  return family;
}

bool Installed(const std::string& family) {
  return strcasecmp(MatchedFamily(family).c_str(), family.c_str()) == 0;
}

// Faces with the metrics of the usual document fonts, for when the named one
// is absent: fontconfig's own fallback for a name it does not know is a
// general face whose wider letters break the words of narrow columns.
const std::vector<const char*>* MetricSubstitutes(const std::string& name) {
  static const std::vector<const char*> serif = {"Liberation Serif", "Tinos", "Nimbus Roman",
                                                 "TeX Gyre Termes"};
  static const std::vector<const char*> sans = {"Liberation Sans", "Arimo", "Nimbus Sans",
                                                "TeX Gyre Heros"};
  static const std::vector<const char*> mono = {"Liberation Mono", "Cousine", "Nimbus Mono PS",
                                                "TeX Gyre Cursor"};
  static const std::map<std::string, const std::vector<const char*>*> families = {
      {"georgia", &serif},
      {"times new roman", &serif},
      {"times", &serif},
      {"cambria", &serif},
      {"book antiqua", &serif},
      {"palatino linotype", &serif},
      {"tahoma", &sans},
      {"arial", &sans},
      {"helvetica", &sans},
      {"verdana", &sans},
      {"segoe ui", &sans},
      {"lucida sans unicode", &sans},
      {"microsoft sans serif", &sans},
      {"courier new", &mono},
      {"courier", &mono},
      {"consolas", &mono},
      {"lucida console", &mono}};
  const auto found = families.find(LowerAscii(name));
  return found == families.end() ? nullptr : found->second;
}

}  // namespace

std::string ResolveFontFamily(const std::string& name) {
  static std::mutex lock;
  static std::map<std::string, std::string> resolved;
  const std::lock_guard<std::mutex> hold(lock);
  const auto known = resolved.find(name);
  if (known != resolved.end()) return known->second;
  std::string family = name;
  if (!Installed(name))
    if (const auto* substitutes = MetricSubstitutes(name))
      for (const char* candidate : *substitutes)
        if (Installed(candidate)) {
          family = candidate;
          break;
        }
  resolved.emplace(name, family);
  return family;
}

namespace {

// Everything the document records until it is rendered.
struct TDocumentState {
  std::u16string Title;
  double Width = A4_WIDTH, Height = A4_HEIGHT;
  double Left = 20 * MM, Top = 15 * MM, Right = 20 * MM, Bottom = 15 * MM;
  bool Begun = false, Finished = false;

  TLayoutState Current;
  std::vector<TLayoutState> Saved;
  std::vector<TBandRow> Header, Footer;
  std::vector<TColumn> Columns;
  TColumns ColumnsSnapshot;  // shared by the commands recorded with the same columns
  std::vector<TCmd> Content;

  int Pages = 0;
  std::string Error;

  bool Recording() const { return Begun && !Finished; }

  TColumns CurrentColumns() {
    if (!ColumnsSnapshot) ColumnsSnapshot = std::make_shared<const std::vector<TColumn>>(Columns);
    return ColumnsSnapshot;
  }

  void AddBandText(std::vector<TBandRow>& band, const std::u16string& text, TTextAlign align,
                   double x, bool pageNumbers) {
    if (band.empty() || band.back().Separator) band.emplace_back();
    band.back().Texts.push_back({text, Current.Font, align, x, pageNumbers});
  }

  void Record(TCmd cmd) {
    if (!Recording()) return;
    cmd.Layout = Current;
    Content.push_back(std::move(cmd));
  }
};

// ---- the layout and drawing pass

class TRenderer {
public:
  TRenderer(const TDocumentState& doc, cairo_t* cr) : FDoc(doc), FCr(cr) {
    FContext.reset(pango_cairo_create_context(cr));
    if (!FContext) throw std::runtime_error("no text context");
    // Layout in PDF points, unhinted, so measured and drawn text agree.
    pango_cairo_context_set_resolution(FContext.get(), 72.0);
    TFontOptionsPtr options(cairo_font_options_create());
    cairo_font_options_set_hint_metrics(options.get(), CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_hint_style(options.get(), CAIRO_HINT_STYLE_NONE);
    pango_cairo_context_set_font_options(FContext.get(), options.get());

    FHeaderHeight = BandHeight(doc.Header);
    FFooterHeight = BandHeight(doc.Footer);
    FBodyTop = doc.Top + (doc.Header.empty() ? 0 : FHeaderHeight + BAND_GAP);
    FBodyBottom = doc.Height - doc.Bottom - (doc.Footer.empty() ? 0 : FFooterHeight + BAND_GAP);
    if (FBodyBottom - FBodyTop < 12) throw std::runtime_error("no room left for the body");
  }

  std::vector<TPage> Layout() {
    StartPage();
    for (const TCmd& cmd : FDoc.Content) Place(cmd);
    return std::move(FPages);
  }

  void Draw(const std::vector<TPage>& pages) {
    const int count = static_cast<int>(pages.size());
    for (int p = 0; p < count; ++p) {
      const TPage& page = pages[static_cast<size_t>(p)];
      DrawBand(FDoc.Header, FDoc.Top, p + 1, count);
      DrawBand(FDoc.Footer, FDoc.Height - FDoc.Bottom - FFooterHeight, p + 1, count);
      cairo_set_source_rgb(FCr, 0, 0, 0);
      for (const TDrawLine& line : page.Lines) {
        PangoLayoutLine* l = pango_layout_get_line_readonly(line.Layout.get(), line.LineIndex);
        if (l == nullptr) continue;
        cairo_move_to(FCr, line.X, line.Baseline);
        pango_cairo_show_layout_line(FCr, l);
      }
      for (const TDrawRule& rule : page.Rules) DrawRule(rule);
      for (const TDrawDest& dest : page.Dests) {
        const std::string attributes =
            "name='" + dest.Name + "' x=" + Number(dest.X) + " y=" + Number(dest.Y);
        cairo_tag_begin(FCr, CAIRO_TAG_DEST, attributes.c_str());
        cairo_tag_end(FCr, CAIRO_TAG_DEST);
      }
      cairo_show_page(FCr);
    }
  }

private:
  // ---- measuring

  TLayoutPtr MakeLayout(const std::u16string& text, const TFontSpec& font) {
    TLayoutPtr layout(pango_layout_new(FContext.get()), TGObjectFree());
    if (!layout) throw std::runtime_error("no text layout");
    TFontDescriptionPtr description(pango_font_description_new());
    pango_font_description_set_family(description.get(),
                                      ResolveFontFamily(ToPangoText(font.Name)).c_str());
    pango_font_description_set_absolute_size(description.get(),
                                             std::max(1.0, font.Size) * PANGO_SCALE);
    pango_font_description_set_weight(
        description.get(), (font.Style & fsBold) != 0 ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_style(
        description.get(), (font.Style & fsItalic) != 0 ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    pango_layout_set_font_description(layout.get(), description.get());
    TAttrListPtr attributes(pango_attr_list_new());
    // A word broken because it is wider than its column keeps its letters
    // only: a hyphen would change texts such as file names and hex values.
    pango_attr_list_insert(attributes.get(), pango_attr_insert_hyphens_new(FALSE));
    if ((font.Style & fsUnderline) != 0)
      pango_attr_list_insert(attributes.get(), pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
    pango_layout_set_attributes(layout.get(), attributes.get());
    const std::string utf8 = ToPangoText(text);
    pango_layout_set_text(layout.get(), utf8.c_str(), static_cast<int>(utf8.size()));
    return layout;
  }

  // A text laid out in a box of the given width (no width: one line per
  // paragraph of the text).
  // Laid-out texts never change, so equal ones (module and type names, empty
  // cells) share one layout; only the position differs.
  TCell MakeCell(const std::u16string& text, const TFontSpec& font, TTextAlign align, double x,
                 double width, bool wrap) {
    std::u16string key = FontKey(font) + u'|' + Utf8ToUtf16(Number(width)) + u'|' +
                         static_cast<char16_t>(u'0' + static_cast<int>(align)) +
                         (wrap ? u'w' : u'c') + u'|' + text;
    auto found = FCells.find(key);
    if (found == FCells.end())
      found = FCells.emplace(std::move(key), LayOut(text, font, align, width, wrap)).first;
    TCell cell = found->second;
    cell.X = x;
    return cell;
  }

  static std::u16string FontKey(const TFontSpec& font) {
    return font.Name + u'|' + Utf8ToUtf16(Number(font.Size)) + u'|' +
           static_cast<char16_t>(u'0' + (font.Style & 7));
  }

  TCell LayOut(const std::u16string& text, const TFontSpec& font, TTextAlign align, double width,
               bool wrap) {
    TCell cell;
    cell.Layout = MakeLayout(text, font);
    PangoLayout* layout = cell.Layout.get();
    if (width > 0) {
      pango_layout_set_width(layout, ToPango(width));
      if (wrap) {
        pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
      } else {
        pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
        pango_layout_set_single_paragraph_mode(layout, TRUE);
      }
    }
    switch (align) {
      case TTextAlign::Left: pango_layout_set_alignment(layout, PANGO_ALIGN_LEFT); break;
      case TTextAlign::Center: pango_layout_set_alignment(layout, PANGO_ALIGN_CENTER); break;
      case TTextAlign::Right: pango_layout_set_alignment(layout, PANGO_ALIGN_RIGHT); break;
      case TTextAlign::Justify:
        pango_layout_set_alignment(layout, PANGO_ALIGN_LEFT);
        pango_layout_set_justify(layout, TRUE);
        break;
    }
    PangoLayoutIter* iter = pango_layout_get_iter(layout);
    do {
      PangoRectangle logical;
      pango_layout_iter_get_line_extents(iter, nullptr, &logical);
      TLineBox box;
      box.Top = FromPango(logical.y);
      box.Bottom = FromPango(logical.y + logical.height);
      box.Baseline = FromPango(pango_layout_iter_get_baseline(iter));
      box.X = FromPango(logical.x);
      cell.Lines.push_back(box);
    } while (pango_layout_iter_next_line(iter));
    pango_layout_iter_free(iter);
    return cell;
  }

  // Width of a text on one line.
  double TextWidth(const std::u16string& text, const TFontSpec& font) {
    const std::u16string key = FontKey(font) + u'|' + text;
    auto found = FTextWidths.find(key);
    if (found != FTextWidths.end()) return found->second;
    TLayoutPtr layout = MakeLayout(text, font);
    PangoRectangle logical;
    pango_layout_get_extents(layout.get(), nullptr, &logical);
    return FTextWidths.emplace(key, FromPango(logical.width)).first->second;
  }

  // The font a wrapping cell is set in: its own, or a smaller size when one
  // of its words (a number, a type name) would otherwise be broken inside.
  TFontSpec FittingFont(const std::u16string& text, const TFontSpec& font, double width) {
    double widest = 0;
    size_t start = 0;
    while (start < text.size()) {
      const size_t end = std::min(text.find_first_of(u" \t\r\n", start), text.size());
      if (end > start) widest = std::max(widest, TextWidth(text.substr(start, end - start), font));
      start = end + 1;
    }
    if (widest <= width) return font;
    TFontSpec smaller = font;
    // Rounded down to a twentieth of a point, so that the word fits again.
    smaller.Size =
        std::max(font.Size * MIN_FIT_SCALE, std::floor(font.Size * width / widest * 20.0) / 20.0);
    return smaller;
  }

  double LineHeight(const TFontSpec& font) {
    const std::u16string key = FontKey(font);
    auto found = FLineHeights.find(key);
    if (found != FLineHeights.end()) return found->second;
    TCell probe = MakeCell(u"Xg", font, TTextAlign::Left, 0, 0, false);
    const double height =
        probe.Lines.empty() ? font.Size : probe.Lines[0].Bottom - probe.Lines[0].Top;
    FLineHeights.emplace(key, height);
    return height;
  }

  double BandHeight(const std::vector<TBandRow>& band) {
    double height = 0;
    for (const TBandRow& row : band) height += RowHeight(row);
    return height;
  }

  double RowHeight(const TBandRow& row) {
    if (row.Separator) return SEPARATOR_ROW;
    double height = 0;
    for (const TBandText& text : row.Texts) height = std::max(height, LineHeight(text.Font));
    return height;
  }

  // Numbers in cairo's attribute strings use a point, whatever the locale.
  static std::string Number(double value) {
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 3);
    return result.ec == std::errc() ? std::string(buffer, result.ptr) : std::string("0");
  }

  // ---- placing content on pages

  void StartPage() {
    FPages.emplace_back();
    FY = FBodyTop;
    FContentTop = FBodyTop;
  }
  TPage& Page() { return FPages.back(); }
  // Nothing but repeated column titles on the page yet.
  bool AtPageTop() const { return FY <= FContentTop; }

  void Place(const TCmd& cmd) {
    const bool paragraphWasOpen = FParagraphOpen;
    FParagraphOpen = false;
    // A paragraph ends the table: its titles are no longer repeated.
    if (cmd.Kind == TCmdKind::Paragraph) FTableHeader = nullptr;
    switch (cmd.Kind) {
      case TCmdKind::Paragraph: {
        std::vector<TCell> cells;
        cells.push_back(MakeCell(cmd.Texts.at(0), cmd.Layout.Font, cmd.Layout.Align, FDoc.Left,
                                 FDoc.Width - FDoc.Left - FDoc.Right, true));
        PlaceBlock(cells, 0, false);
        FParagraphOpen = true;
        break;
      }
      case TCmdKind::NewLine:
        if (!paragraphWasOpen) Advance(LineHeight(cmd.Layout.Font));
        break;
      case TCmdKind::Space: Advance(cmd.Lines * LineHeight(cmd.Layout.Font)); break;
      case TCmdKind::NewPage: StartPage(); break;
      case TCmdKind::Bookmark:
        if (FY >= FBodyBottom) StartPage();
        Page().Dests.push_back({"bookmark" + std::to_string(FBookmarks++), FDoc.Left, FY});
        break;
      case TCmdKind::Headers:
        PlaceHeaders(cmd, true);
        FTableHeader = &cmd;
        break;
      case TCmdKind::Row: PlaceRow(cmd); break;
    }
  }

  void Advance(double height) {
    FY += height;
    // Space that runs over the page end is not carried onto the next page.
    if (FY >= FBodyBottom) StartPage();
  }

  std::vector<TCell> ColumnCells(const TCmd& cmd, const TFontSpec& font) {
    std::vector<TCell> cells;
    const double textWidth = FDoc.Width - FDoc.Left - FDoc.Right;
    double x = FDoc.Left;
    const std::vector<TColumn>& columns = *cmd.Columns;
    for (size_t i = 0; i < columns.size(); ++i) {
      const double width = std::max(0.0, columns[i].Percent) * textWidth / 100.0;
      const std::u16string empty;
      const std::u16string& text = i < cmd.Texts.size() ? cmd.Texts[i] : empty;
      const double inner = std::max(1.0, width - 2 * CELL_PAD_X);
      const TFontSpec fitted = columns[i].Wrap ? FittingFont(text, font, inner) : font;
      cells.push_back(
          MakeCell(text, fitted, columns[i].Align, x + CELL_PAD_X, inner, columns[i].Wrap));
      x += width;
    }
    return cells;
  }

  double ColumnsRight(const TCmd& cmd) const {
    double percent = 0;
    for (const TColumn& column : *cmd.Columns) percent += std::max(0.0, column.Percent);
    return FDoc.Left + percent * (FDoc.Width - FDoc.Left - FDoc.Right) / 100.0;
  }

  void PlaceHeaders(const TCmd& cmd, bool keepWithNextLine) {
    if (cmd.Columns->empty()) return;
    TFontSpec bold = cmd.Layout.Font;
    bold.Style |= fsBold;
    std::vector<TCell> cells = ColumnCells(cmd, bold);
    // Titles alone at the foot of a page would be orphaned: they need room
    // for one line of the rows below as well.
    const double height = BlockHeight(cells, CELL_PAD_Y) + HEADER_RULE_WIDTH;
    if (keepWithNextLine && !AtPageTop() &&
        FY + height + LineHeight(cmd.Layout.Font) + 2 * CELL_PAD_Y > FBodyBottom)
      StartPage();
    PlaceBlock(cells, CELL_PAD_Y, false);
    Page().Rules.push_back({FDoc.Left, FY + HEADER_RULE_WIDTH / 2, ColumnsRight(cmd),
                            HEADER_RULE_WIDTH, HEADER_RULE_GRAY});
    FY += HEADER_RULE_WIDTH;
  }

  void PlaceRow(const TCmd& cmd) {
    if (cmd.Columns->empty()) return;
    std::vector<TCell> cells = ColumnCells(cmd, cmd.Layout.Font);
    if (FTableHeader != nullptr && FY <= FBodyTop) {
      PlaceHeaders(*FTableHeader, false);
      FContentTop = FY;
    }
    PlaceBlock(cells, CELL_PAD_Y, true);
  }

  static double BlockHeight(const std::vector<TCell>& cells, double pad) {
    double height = 0;
    for (const TCell& cell : cells)
      if (!cell.Lines.empty()) height = std::max(height, cell.Lines.back().Bottom);
    return height + 2 * pad;
  }

  // Places the texts of one block side by side from the cursor down. A block
  // that does not fit moves to a new page; one taller than a page is split
  // between text lines, continuing at the top of the following pages.
  void PlaceBlock(const std::vector<TCell>& cells, double pad, bool isRow) {
    const double height = BlockHeight(cells, pad);
    if (FY + height > FBodyBottom && !AtPageTop()) {
      if (height <= FBodyBottom - FBodyTop) {
        NewPageInBlock(isRow);
      }
    }
    std::vector<size_t> next(cells.size(), 0);
    double offset = 0;  // layout y that sits at the top of this page's part
    for (;;) {
      const double room = FBodyBottom - FY - 2 * pad;
      double used = 0;
      bool placedAny = false;
      for (size_t c = 0; c < cells.size(); ++c) {
        const TCell& cell = cells[c];
        while (next[c] < cell.Lines.size()) {
          const TLineBox& line = cell.Lines[next[c]];
          if (line.Bottom - offset > room + 0.01) break;
          PutLine(cell, next[c], FY + pad - offset);
          used = std::max(used, line.Bottom - offset);
          placedAny = true;
          ++next[c];
        }
      }
      if (!placedAny && AtPageTop()) {
        // Not even one line fits on an empty page: place the first one anyway
        // rather than loop for ever.
        for (size_t c = 0; c < cells.size(); ++c) {
          if (next[c] >= cells[c].Lines.size()) continue;
          const TLineBox& line = cells[c].Lines[next[c]];
          PutLine(cells[c], next[c], FY + pad - offset);
          used = std::max(used, line.Bottom - offset);
          ++next[c];
          break;
        }
      }
      bool done = true;
      double resume = 0;
      for (size_t c = 0; c < cells.size(); ++c) {
        if (next[c] < cells[c].Lines.size()) {
          const double top = cells[c].Lines[next[c]].Top;
          resume = done ? top : std::min(resume, top);
          done = false;
        }
      }
      if (done) {
        FY += used + 2 * pad;
        return;
      }
      NewPageInBlock(isRow);
      offset = resume;
    }
  }

  void NewPageInBlock(bool isRow) {
    StartPage();
    if (isRow && FTableHeader != nullptr) {
      PlaceHeaders(*FTableHeader, false);
      FContentTop = FY;
    }
  }

  void PutLine(const TCell& cell, size_t index, double layoutTop) {
    const TLineBox& line = cell.Lines[index];
    Page().Lines.push_back(
        {cell.Layout, static_cast<int>(index), cell.X + line.X, layoutTop + line.Baseline});
  }

  // ---- drawing headers and footers

  void DrawBand(const std::vector<TBandRow>& band, double top, int page, int pageCount) {
    double y = top;
    for (const TBandRow& row : band) {
      const double height = RowHeight(row);
      if (row.Separator) {
        DrawRule({FDoc.Left, y + height / 2, FDoc.Width - FDoc.Right, SEPARATOR_WIDTH, 0});
      } else {
        for (const TBandText& text : row.Texts) {
          const std::u16string shown =
              text.PageNumbers ? FormatPageNumber(text.Text, page, pageCount) : text.Text;
          TCell cell = MakeCell(shown, text.Font, TTextAlign::Left, 0, 0, false);
          if (cell.Lines.empty()) continue;
          PangoRectangle logical;
          pango_layout_get_extents(cell.Layout.get(), nullptr, &logical);
          const double width = FromPango(logical.width);
          double x = text.X;
          switch (text.Align) {
            case TTextAlign::Left:
            case TTextAlign::Justify:
              if (x < 0) x = FDoc.Left;
              break;
            case TTextAlign::Center:
              if (x < 0) x = (FDoc.Left + FDoc.Width - FDoc.Right) / 2;
              x -= width / 2;
              break;
            case TTextAlign::Right:
              if (x < 0) x = FDoc.Width - FDoc.Right;
              x -= width;
              break;
          }
          cairo_set_source_rgb(FCr, 0, 0, 0);
          cairo_move_to(FCr, x, y);
          pango_cairo_show_layout(FCr, cell.Layout.get());
        }
      }
      y += height;
    }
  }

  void DrawRule(const TDrawRule& rule) {
    cairo_save(FCr);
    cairo_set_source_rgb(FCr, rule.Gray, rule.Gray, rule.Gray);
    cairo_set_line_width(FCr, rule.Width);
    cairo_move_to(FCr, rule.X1, rule.Y);
    cairo_line_to(FCr, rule.X2, rule.Y);
    cairo_stroke(FCr);
    cairo_restore(FCr);
  }

  const TDocumentState& FDoc;
  cairo_t* FCr;
  TContextPtr FContext;
  std::map<std::u16string, double> FLineHeights;
  std::map<std::u16string, TCell> FCells;
  std::map<std::u16string, double> FTextWidths;
  double FHeaderHeight = 0, FFooterHeight = 0, FBodyTop = 0, FBodyBottom = 0;

  std::vector<TPage> FPages;
  double FY = 0;
  double FContentTop = 0;
  bool FParagraphOpen = false;
  const TCmd* FTableHeader = nullptr;
  int FBookmarks = 0;
};

cairo_status_t AppendToString(void* closure, const unsigned char* data, unsigned int length) {
  try {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
  } catch (...) {
    return CAIRO_STATUS_WRITE_ERROR;
  }
}

std::string RenderDocument(TDocumentState& doc) {
  std::string pdf;
  doc.Pages = 0;
  TSurfacePtr surface(
      cairo_pdf_surface_create_for_stream(AppendToString, &pdf, doc.Width, doc.Height));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
    throw std::runtime_error("cannot create the PDF surface");
  cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_TITLE,
                                 ToPangoText(doc.Title).c_str());
  {
    TCairoPtr cr(cairo_create(surface.get()));
    TRenderer renderer(doc, cr.get());
    const std::vector<TPage> pages = renderer.Layout();
    renderer.Draw(pages);
    // Outline entries in document order, each pointing at its destination.
    int index = 0;
    for (const TCmd& cmd : doc.Content) {
      if (cmd.Kind != TCmdKind::Bookmark) continue;
      const std::string link = "dest='bookmark" + std::to_string(index++) + "'";
      cairo_pdf_surface_add_outline(surface.get(), CAIRO_PDF_OUTLINE_ROOT,
                                    ToPangoText(cmd.Texts.at(0)).c_str(), link.c_str(),
                                    static_cast<cairo_pdf_outline_flags_t>(0));
    }
    if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS)
      throw std::runtime_error(std::string("drawing failed: ") +
                               cairo_status_to_string(cairo_status(cr.get())));
    doc.Pages = static_cast<int>(pages.size());
  }
  cairo_surface_finish(surface.get());
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
    throw std::runtime_error(std::string("writing the PDF failed: ") +
                             cairo_status_to_string(cairo_surface_status(surface.get())));
  return pdf;
}

}  // namespace

struct TPdfDocument::TImpl : TDocumentState {};

// ---- the public face

TPdfDocument::TPdfDocument() : FImpl(std::make_unique<TImpl>()) {}
TPdfDocument::~TPdfDocument() = default;

void TPdfDocument::SetTitle(const std::u16string& title) { FImpl->Title = title; }
const std::u16string& TPdfDocument::Title() const { return FImpl->Title; }

void TPdfDocument::SetPageSize(double width, double height) {
  if (width > 0 && height > 0) {
    FImpl->Width = width;
    FImpl->Height = height;
  }
}

void TPdfDocument::SetMargins(double left, double top, double right, double bottom) {
  FImpl->Left = std::max(0.0, left);
  FImpl->Top = std::max(0.0, top);
  FImpl->Right = std::max(0.0, right);
  FImpl->Bottom = std::max(0.0, bottom);
}

double TPdfDocument::PageWidth() const { return FImpl->Width; }
double TPdfDocument::PageHeight() const { return FImpl->Height; }
double TPdfDocument::LeftMargin() const { return FImpl->Left; }
double TPdfDocument::RightMargin() const { return FImpl->Width - FImpl->Right; }
double TPdfDocument::TextWidth() const { return RightMargin() - LeftMargin(); }

void TPdfDocument::BeginDoc() {
  if (FImpl->Begun) return;
  FImpl->Begun = true;
}
void TPdfDocument::EndDoc() {
  if (FImpl->Begun) FImpl->Finished = true;
}
bool TPdfDocument::Started() const { return FImpl->Begun; }
bool TPdfDocument::Ended() const { return FImpl->Finished; }

void TPdfDocument::SetFont(const std::u16string& name, double size, uint32_t style) {
  SetFontName(name);
  SetFontSize(size);
  SetFontStyle(style);
}
void TPdfDocument::SetFontName(const std::u16string& name) { FImpl->Current.Font.Name = name; }
void TPdfDocument::SetFontSize(double size) {
  if (size > 0) FImpl->Current.Font.Size = size;
}
void TPdfDocument::SetFontStyle(uint32_t style) {
  FImpl->Current.Font.Style = style & (fsBold | fsItalic | fsUnderline);
}
const TFontSpec& TPdfDocument::Font() const { return FImpl->Current.Font; }
void TPdfDocument::SetAlignment(TTextAlign align) { FImpl->Current.Align = align; }
TTextAlign TPdfDocument::Alignment() const { return FImpl->Current.Align; }

void TPdfDocument::SaveLayout() { FImpl->Saved.push_back(FImpl->Current); }
void TPdfDocument::RestoreLayout() {
  if (FImpl->Saved.empty()) return;
  FImpl->Current = FImpl->Saved.back();
  FImpl->Saved.pop_back();
}

void TPdfDocument::HeaderText(const std::u16string& text, TTextAlign align, double x) {
  FImpl->AddBandText(FImpl->Header, text, align, x, false);
}
void TPdfDocument::FooterText(const std::u16string& text, TTextAlign align, double x) {
  FImpl->AddBandText(FImpl->Footer, text, align, x, false);
}
void TPdfDocument::HeaderPageNumber(const std::u16string& format, TTextAlign align, double x) {
  FImpl->AddBandText(FImpl->Header, format, align, x, true);
}
void TPdfDocument::FooterPageNumber(const std::u16string& format, TTextAlign align, double x) {
  FImpl->AddBandText(FImpl->Footer, format, align, x, true);
}
void TPdfDocument::HeaderNewRow() { FImpl->Header.emplace_back(); }
void TPdfDocument::FooterNewRow() { FImpl->Footer.emplace_back(); }
void TPdfDocument::HeaderLine() { FImpl->Header.push_back({true, {}}); }
void TPdfDocument::FooterLine() { FImpl->Footer.push_back({true, {}}); }

void TPdfDocument::WriteText(const std::u16string& text) {
  TCmd cmd;
  cmd.Kind = TCmdKind::Paragraph;
  cmd.Texts.push_back(text);
  FImpl->Record(std::move(cmd));
}

void TPdfDocument::NewLine() {
  TCmd cmd;
  cmd.Kind = TCmdKind::NewLine;
  FImpl->Record(std::move(cmd));
}

void TPdfDocument::BlankLine() {
  TCmd cmd;
  cmd.Kind = TCmdKind::Space;
  cmd.Lines = 1.0;
  FImpl->Record(std::move(cmd));
}

void TPdfDocument::HalfBlankLine() {
  TCmd cmd;
  cmd.Kind = TCmdKind::Space;
  cmd.Lines = 0.5;
  FImpl->Record(std::move(cmd));
}

void TPdfDocument::NewPage() {
  TCmd cmd;
  cmd.Kind = TCmdKind::NewPage;
  FImpl->Record(std::move(cmd));
}

void TPdfDocument::AddBookmark(const std::u16string& name) {
  TCmd cmd;
  cmd.Kind = TCmdKind::Bookmark;
  cmd.Texts.push_back(name);
  FImpl->Record(std::move(cmd));
}

void TPdfDocument::ClearColumns() {
  FImpl->Columns.clear();
  FImpl->ColumnsSnapshot.reset();
}

void TPdfDocument::AddColumn(double percentOfTextWidth, TTextAlign align, bool wrap) {
  FImpl->Columns.push_back({percentOfTextWidth, align, wrap});
  FImpl->ColumnsSnapshot.reset();
}

size_t TPdfDocument::ColumnCount() const { return FImpl->Columns.size(); }

void TPdfDocument::ColumnHeaders(const std::vector<std::u16string>& titles) {
  TCmd cmd;
  cmd.Kind = TCmdKind::Headers;
  cmd.Texts = titles;
  cmd.Columns = FImpl->CurrentColumns();
  FImpl->Record(std::move(cmd));
}

void TPdfDocument::Row(const std::vector<std::u16string>& cells) {
  TCmd cmd;
  cmd.Kind = TCmdKind::Row;
  cmd.Texts = cells;
  cmd.Columns = FImpl->CurrentColumns();
  FImpl->Record(std::move(cmd));
}

std::string TPdfDocument::Render() {
  FImpl->Error.clear();
  if (!FImpl->Begun) {
    FImpl->Error = "the document was never started";
    return {};
  }
  EndDoc();
  try {
    return RenderDocument(*FImpl);
  } catch (const std::exception& e) {
    FImpl->Error = e.what();
  } catch (...) {
    FImpl->Error = "rendering failed";
  }
  FImpl->Pages = 0;
  return {};
}

bool TPdfDocument::SaveToFile(const std::u16string& fileName, TSaveMode mode) {
  const std::string pdf = Render();
  if (pdf.empty()) return false;
  const std::string path = ToNativePath(fileName);
  if (path.empty()) {
    FImpl->Error = "no file name";
    return false;
  }
  // Written beside the destination and moved into place when complete; a
  // file that appears meanwhile is still not overwritten unless asked.
  TOutputStatus status = TOutputStatus::Ok;
  const std::unique_ptr<TOutputFile> output = TOutputFile::Begin(
      path, mode == TSaveMode::Replace ? TOutputMode::Replace : TOutputMode::Exclusive, status);
  TStream* stream = output ? output->Stream() : nullptr;
  if (stream == nullptr) {
    FImpl->Error =
        path + (status == TOutputStatus::Exists       ? ": the file exists already"
                : status == TOutputStatus::NotRegular ? ": not a regular file"
                                                      : ": " + std::string(std::strerror(errno)));
    return false;
  }
  if (stream->Write(pdf.data(), static_cast<int64_t>(pdf.size())) !=
      static_cast<int64_t>(pdf.size())) {
    FImpl->Error = path + ": " + std::strerror(errno);
    return false;
  }
  switch (output->Commit(TOutputSync::ToDisk)) {
    case TOutputStatus::Ok: return true;
    case TOutputStatus::Exists: FImpl->Error = path + ": the file exists already"; return false;
    case TOutputStatus::NotRegular: FImpl->Error = path + ": not a regular file"; return false;
    default: FImpl->Error = path + ": the file could not be written"; return false;
  }
}

int TPdfDocument::PageCount() const { return FImpl->Pages; }
const std::string& TPdfDocument::LastError() const { return FImpl->Error; }

}  // namespace riffo::pdf
