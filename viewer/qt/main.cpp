// riffoscope [FILE]: the viewer; a file given as a name or as a file:// URI
// (as file managers pass it) is opened at start.
#include <QApplication>

#include <cstdio>
#include <cstring>

#include "platform/Product.h"
#include "platform/qt/NativeNames.h"
#include "viewer/qt/RiffoscopeUnit1.h"

namespace {

constexpr char HELP_TEXT[] =
    "Usage: riffoscope [FILE]\n"
    "\n"
    "Shows the chunk tree, hex dump and structure export of a WAV or Broadcast\n"
    "Wave file, and runs the validation modules on it. FILE is a file name or a\n"
    "file:// URI; without it the window opens empty.\n"
    "\n"
    "  -h, --help   show this help and exit\n"
    "  --version    show the version and exit\n"
    "\n"
    "The toolkit's own options (e.g. -platform offscreen) are accepted too.\n"
    "See riffoscope(1) for the module folders, settings and environment.\n";

// --help and --version answer before the toolkit starts, so they work
// without a display. Returns the exit status, or -1 to go on.
int AnswerInformationOptions(int argc, char* argv[]) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--") == 0) break;
    const bool help = std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0;
    if (!help && std::strcmp(argv[i], "--version") != 0) continue;
    if (help)
      std::fputs(HELP_TEXT, stdout);
    else
      std::printf("riffoscope %s\n", riffo::ProgramVersion());
    return std::fflush(stdout) == 0 ? 0 : 2;
  }
  return -1;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (const int status = AnswerInformationOptions(argc, argv); status >= 0) return status;
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Riffoscope"));
  // The toolkit has taken its own options out of argv. The name is read from
  // the bytes: the toolkit's decoded arguments lose bytes that are not UTF-8.
  const std::u16string first = argc > 1 ? riffo::NameFromArgument(argv[1]) : std::u16string();
  riffo::TRiffoscopeForm form(nullptr, first);
  form.show();
  return QApplication::exec();
}
