// The viewer's file argument: names as given, and the file:// URIs a file
// manager passes, decoded to the bytes of the name they stand for.
#include "viewer/CommandLine.h"

#include <gtest/gtest.h>

#include "platform/Text.h"
#include "support/RiffBuilder.h"
#include "viewer/RiffoscopeSession.h"
#include "support/SessionFakes.h"

namespace riffo {
namespace {

TEST(FileNameFromArgument, DecodesLocalUrisAndTakesEverythingElseAsGiven) {
  const std::u16string ff(1, char16_t(0xDCFF));  // the byte 0xFF of a name that is no UTF-8
  struct Case {
    const char* Argument;
    std::u16string Name;
  } const cases[] = {
      {"take.wav", u"take.wav"},
      {"/music/a b.wav", u"/music/a b.wav"},
      {"/music/\xFF.wav", u"/music/" + ff + u".wav"},
      {"file:///music/a%20b.wav", u"/music/a b.wav"},
      {"FILE://localhost/music/x.wav", u"/music/x.wav"},
      {"file://LocalHost/music/x.wav", u"/music/x.wav"},
      {"file:///music/%C3%A9t%c3%a9.wav", u"/music/\u00E9t\u00E9.wav"},
      {"file:///music/%FF.wav", u"/music/" + ff + u".wav"},
      {"file:///music/%23%3F.wav", u"/music/#?.wav"},
      // A '%' without two hex digits stands for itself.
      {"file:///music/100%.wav", u"/music/100%.wav"},
      {"file:///music/a%2", u"/music/a%2"},
      {"file:///music/a%zz.wav", u"/music/a%zz.wav"},
      // Query and fragment are no part of the name.
      {"file:///music/a.wav#t=10", u"/music/a.wav"},
      {"file:///music/a.wav?x", u"/music/a.wav"},
      // No local file: the argument as given, which the open then reports.
      {"file://server/share/a.wav", u"file://server/share/a.wav"},
      {"file://localhostx/a.wav", u"file://localhostx/a.wav"},
      {"file://", u"file://"},
      {"file:///music/a%00.wav", u"file:///music/a%00.wav"},
      {"http://example.org/a.wav", u"http://example.org/a.wav"},
  };
  for (const Case& c : cases) EXPECT_EQ(FileNameFromArgument(c.Argument), c.Name) << c.Argument;
}

// The whole way: a URI as a file manager writes it opens the file, whose name
// has a space, a UTF-8 letter and a byte that is no UTF-8.
TEST(FileNameFromArgument, UriOpensTheFileItNames) {
  test::ScratchFolder folder;
  test::TFakeView view;
  test::TFakeDialogs dialogs;
  TRiffoscopeSession session(view, dialogs);
  const std::string name = "take one \xC3\xA9\xFF.wav";
  test::Bytes body = test::Chunk("fmt ", test::PcmFormat(1, 44100, 16));
  test::Append(body, test::Chunk("data", test::Bytes(4, 0)));
  test::WriteFileBytes(folder.Path(name).string(), test::Riff("WAVE", body));

  std::string uri = "file://";
  for (const unsigned char c : folder.Path(name).string()) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '/' || c == '.' || c == '-' || c == '_';
    uri += plain ? std::string(1, static_cast<char>(c)) : Format8("%%%02X", c);
  }
  ASSERT_NE(uri.find("%20"), std::string::npos);
  ASSERT_NE(uri.find("%FF"), std::string::npos);

  session.FormShow(FileNameFromArgument(uri));
  EXPECT_TRUE(dialogs.Boxes.empty());
  EXPECT_EQ(NativeFromUtf16(session.FileName()), folder.Path(name).string());
  EXPECT_NE(session.DisplayTree(), nullptr);
}

}  // namespace
}  // namespace riffo
