// A small page-oriented report engine that writes PDF files.
//
// The caller describes the document as a stream of content (text paragraphs,
// blank lines, bookmarks, column headers and rows) together with page headers
// and footers. Nothing is measured or drawn while the content is described:
// SaveToFile lays the content out into a list of pages first and then draws
// every page, so footers and headers can show the page count ("Page 2/5").
//
// Units are PDF points (1/72 inch); the page is A4 portrait unless set
// otherwise. Fonts are requested by family name ("Georgia", "Tahoma",
// "Courier New"); when the named face is missing an installed face of the
// same metrics takes its place (ResolveFontFamily). Texts are UTF-16.
//
// The description calls cannot fail (they only record); SaveToFile reports a
// failure with false and leaves a reason in LastError().
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace riffo::pdf {

enum class TTextAlign { Left, Center, Right, Justify };

// Font style flags; combine with |.
enum TFontStyle : uint32_t {
  fsRegular = 0,
  fsBold = 1,
  fsItalic = 2,
  fsUnderline = 4,
};

struct TFontSpec {
  std::u16string Name = u"Georgia";
  double Size = 10.0;  // points
  uint32_t Style = fsRegular;
};

// What SaveToFile does when the destination exists already.
enum class TSaveMode {
  CreateNew,  // fail and leave the existing file alone
  Replace     // replace it in one step (the old file stays whole until then)
};

// The family a requested font name is set in: the name itself when such a
// face is installed, else an installed face with the same metrics (a
// Times-metric serif for "Georgia" or "Times New Roman", and so on), else
// the name as it is, left to fontconfig.
std::string ResolveFontFamily(const std::string& name);

class TPdfDocument {
public:
  TPdfDocument();
  ~TPdfDocument();
  TPdfDocument(const TPdfDocument&) = delete;
  TPdfDocument& operator=(const TPdfDocument&) = delete;

  // ---- document and page geometry
  void SetTitle(const std::u16string& title);  // the PDF's Title metadata
  const std::u16string& Title() const;
  void SetPageSize(double width, double height);
  void SetMargins(double left, double top, double right, double bottom);
  double PageWidth() const;
  double PageHeight() const;
  double LeftMargin() const;   // x of the left margin
  double RightMargin() const;  // x of the right margin (page width minus right margin)
  double TextWidth() const;    // RightMargin() - LeftMargin()

  // Starts the content; content added before BeginDoc or after EndDoc is
  // ignored. EndDoc closes it (SaveToFile ends an open document itself).
  void BeginDoc();
  void EndDoc();
  bool Started() const;
  bool Ended() const;

  // ---- the current layout: font and alignment, with a stack to restore it
  void SetFont(const std::u16string& name, double size, uint32_t style);
  void SetFontName(const std::u16string& name);
  void SetFontSize(double size);
  void SetFontStyle(uint32_t style);
  const TFontSpec& Font() const;
  void SetAlignment(TTextAlign align);
  TTextAlign Alignment() const;
  void SaveLayout();     // pushes font and alignment
  void RestoreLayout();  // pops them; without a saved layout nothing changes

  // ---- page headers and footers (drawn on every page, current font)
  // A header or footer is a stack of rows: text rows and separator lines.
  // A text goes into the last text row (a new one is started when the last
  // row is a separator line); x is where the text starts (Left), is centred
  // (Center) or ends (Right); a negative x means the matching margin.
  void HeaderText(const std::u16string& text, TTextAlign align, double x = -1);
  void FooterText(const std::u16string& text, TTextAlign align, double x = -1);
  // Texts whose first "%d" becomes the page number and second the page count.
  void HeaderPageNumber(const std::u16string& format, TTextAlign align, double x = -1);
  void FooterPageNumber(const std::u16string& format, TTextAlign align, double x = -1);
  void HeaderNewRow();
  void FooterNewRow();
  void HeaderLine();  // a thin separator line across the text width
  void FooterLine();

  // ---- body content
  // A paragraph in the current font and alignment, wrapped at the text
  // width. It ends at the next NewLine (or any other content).
  void WriteText(const std::u16string& text);
  // Ends the current paragraph; with none pending it moves down one line.
  void NewLine();
  void BlankLine();      // ends the paragraph, then one empty line
  void HalfBlankLine();  // ends the paragraph, then half an empty line
  void NewPage();
  // A named destination at the current position and an outline entry for it.
  void AddBookmark(const std::u16string& name);

  // ---- columns: per cent of the text width, laid side by side from the
  // left margin. Wrapping columns break long texts at word boundaries (and
  // inside words that are wider than the column); the others cut the text
  // with an ellipsis.
  void ClearColumns();
  void AddColumn(double percentOfTextWidth, TTextAlign align, bool wrap);
  size_t ColumnCount() const;
  // The column titles in the bold variant of the current font with a grey
  // line under them. They are repeated at the top of every page the table
  // continues on.
  void ColumnHeaders(const std::vector<std::u16string>& titles);
  // One row across the columns in the current font; missing cells are empty.
  // A row that does not fit in the rest of the page moves to the next page;
  // a row taller than a whole page is broken between its text lines.
  void Row(const std::vector<std::u16string>& cells);

  // ---- output
  // Lays out, draws and writes the document through TOutputFile: into a
  // temporary beside the destination, moved into place when complete (and
  // flushed to the disk), so a failure never leaves a partial PDF under the
  // destination's name.
  bool SaveToFile(const std::u16string& fileName, TSaveMode mode = TSaveMode::CreateNew);
  // The finished PDF in memory (same layout as SaveToFile); empty on failure.
  std::string Render();
  // Pages of the last Render/SaveToFile (0 before the first one).
  int PageCount() const;
  const std::string& LastError() const;

private:
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
};

}  // namespace riffo::pdf
