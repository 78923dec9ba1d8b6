// File names between the toolkit and the platform layer: names whose bytes
// are not UTF-8 keep every byte on the way in (arguments, URLs, the file
// dialog's choice) and out (URLs), and show readably.
#include "platform/qt/NativeNames.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>
#include <string>

#include "platform/Files.h"
#include "platform/Text.h"
#include "support/TempFolder.h"

namespace riffo {
namespace {

TEST(NativeNames, ArgumentsAndUrlsKeepEveryByte) {
  struct Case {
    const char* Argument;
    std::string Bytes;  // the name the argument denotes
  };
  const Case cases[] = {
      {"bad\xff\xfe.wav", "bad\xff\xfe.wav"},
      {"take\xc3\xa9.wav", "take\xc3\xa9.wav"},
      {"file:///tmp/bad%FF%20x.wav", "/tmp/bad\xff x.wav"},
      {"FILE:///tmp/take%C3%A9.wav", "/tmp/take\xc3\xa9.wav"},
      {"file:/tmp/%ff", "file:/tmp/%ff"},  // not a file:// URI: a name as given
      {"file://localhost/tmp/a%20b.wav", "/tmp/a b.wav"},
      {"file:///tmp/100%25.wav", "/tmp/100%.wav"},
      // An escaped NUL names no file: the argument stays as given, so the open
      // fails rather than opening "/tmp/a".
      {"file:///tmp/a%00b.wav", "file:///tmp/a%00b.wav"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Argument);
    EXPECT_EQ(ToNativePath(NameFromArgument(c.Argument)), c.Bytes);
  }
  EXPECT_EQ(NameFromLocalUrl(QUrl(QStringLiteral("https://example.org/a.wav"))), u"");
  EXPECT_EQ(NameFromLocalUrl(QUrl::fromEncoded("file:///tmp/a%00b.wav")), u"");

  // Out and back in: a URL made for a name denotes the same bytes.
  for (const std::string bytes : {"/tmp/bad\xff.wav", "/tmp/a b%c#d?.wav", "/tmp/\xc3\xa9\x80"}) {
    const std::u16string name = FromNativePath(bytes);
    const QUrl url = LocalFileUrl(name);
    EXPECT_TRUE(url.isLocalFile()) << bytes;
    EXPECT_EQ(ToNativePath(NameFromLocalUrl(url)), bytes);
  }
}

TEST(NativeNames, DialogChoicesFindTheFileTheToolkitShowed) {
  test::TempFolder folder("names");
  const std::string base = folder.Path();
  ASSERT_EQ(::mkdir((base + "/d\xfe").c_str(), 0700), 0);
  test::WriteFileText(base + "/d\xfe/x\xfd.wav", "x");
  // Two names the toolkit shows alike: neither can be told from the other.
  test::WriteFileText(base + "/same\xf0.wav", "1");
  test::WriteFileText(base + "/same\xf1.wav", "2");
  test::WriteFileText(base + "/plain.wav", "p");

  // What the dialog hands back: the toolkit's own decoding of the bytes.
  auto chosen = [](const std::string& bytes) {
    return QFile::decodeName(QByteArray::fromStdString(bytes));
  };
  const std::string nested = base + "/d\xfe/x\xfd.wav";
  ASSERT_TRUE(chosen(nested).contains(QChar(0xFFFD)));
  EXPECT_EQ(ToNativePath(NameFromToolkit(chosen(nested))), nested);
  EXPECT_TRUE(FileExists(NameFromToolkit(chosen(nested))));
  // A new file in such a folder (a save dialog): the folder is found.
  EXPECT_EQ(ToNativePath(NameFromToolkit(chosen(base + "/d\xfe/new.txt"))),
            base + "/d\xfe/new.txt");
  EXPECT_FALSE(FileExists(NameFromToolkit(chosen(base + "/same\xf0.wav"))));
  EXPECT_EQ(NameFromToolkit(chosen(base + "/plain.wav")), FromNativePath(base + "/plain.wav"));
}

TEST(NativeNames, EscapedBytesShowAsReplacementCharacters) {
  const QString shown = ShownText(FromNativePath("Riffoscope (bad\xff\xfe.wav)"));
  EXPECT_EQ(shown, QString::fromUtf8("Riffoscope (bad\xef\xbf\xbd\xef\xbf\xbd.wav)"));
  EXPECT_EQ(ShownText(u"take\u00E9 \U0001F3B5"),
            QString::fromUtf8("take\xc3\xa9 \xf0\x9f\x8e\xb5"));
}

}  // namespace
}  // namespace riffo
