// Message boxes wide enough for their title, and the designed light
// backgrounds under light and dark palettes.
#include "platform/qt/MessageBoxes.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QTest>
#include <cmath>

#include "platform/qt/ThemeColours.h"
#include "support/Contrast.h"

namespace riffo {
namespace {

using test::Contrast;

TEST(MessageBoxes, WideEnoughForTitleAndTextWhichStayAsTheyAre) {
  struct Case {
    QString Title, Text;
  };
  const Case cases[] = {
      {QStringLiteral("Riffoscope"), QStringLiteral("Invalid WAV file.")},
      {QStringLiteral("Riffoscope"), QStringLiteral("OK")},
      {QStringLiteral("A much longer program title than usual"), QStringLiteral("File not found.")},
      {QStringLiteral("Riffoscope"), QStringLiteral("This action will permanently change the file "
                                                    "content. Are you sure you want to save all "
                                                    "changes?")},
  };
  for (const Case& c : cases) {
    auto box = MakeMessageBox(nullptr, QMessageBox::NoIcon, c.Title, c.Text, QMessageBox::Ok);
    box->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(box.get()));
    EXPECT_EQ(box->windowTitle(), c.Title);
    EXPECT_EQ(box->text(), c.Text);
    // A title bar shows the title in a bold face beside an icon and three
    // buttons of at least 24 pixels each.
    QFont bold = box->font();
    bold.setBold(true);
    const int needed = QFontMetrics(bold).horizontalAdvance(c.Title) + 4 * 24;
    EXPECT_GE(box->width(), needed) << c.Title.toStdString() << " / " << c.Text.toStdString();
    // The text is shown whole: its label is not narrower than its longest word.
    for (QLabel* label : box->findChildren<QLabel*>()) {
      if (label->text() != c.Text) continue;
      for (const QString& word : c.Text.split(QLatin1Char(' ')))
        EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(word));
    }
    box->close();
  }
}

QPalette Palette(QColor base, QColor text) {
  QPalette p;
  p.setColor(QPalette::Base, base);
  p.setColor(QPalette::Text, text);
  return p;
}

TEST(ThemeColours, LightPalettesKeepTheDesignedColours) {
  const QPalette light = Palette(Qt::white, Qt::black);
  const QPalette cream = Palette(QColor(0xFA, 0xF6, 0xEE), QColor(0x20, 0x20, 0x20));
  for (QRgb colour : {0xF6F6F6u, 0xF7F7FFu, 0xFFFFCCu, 0xFFCCCCu}) {
    EXPECT_EQ(ThemedBackground(colour, light), QColor::fromRgb(colour));
    EXPECT_EQ(ThemedBackground(colour, cream), QColor::fromRgb(colour));
  }
  EXPECT_FALSE(IsDarkPalette(light));
}

TEST(ThemeColours, DarkPalettesGetColoursOfTheSameMeaningThatKeepTextReadable) {
  struct Case {
    QRgb Light;
    int Hue;  // -1: a grey
  };
  const Case cases[] = {{0xF6F6F6, -1}, {0xF7F7FF, 240}, {0xFFFFCC, 60}, {0xFFCCCC, 0}};
  for (const QPalette& dark :
       {Palette(QColor(0x23, 0x23, 0x23), QColor(0xE6, 0xE6, 0xE6)), Palette(Qt::black, Qt::white),
        Palette(QColor(0x2B, 0x30, 0x3B), QColor(0xD8, 0xDE, 0xE9))}) {
    ASSERT_TRUE(IsDarkPalette(dark));
    const QColor text = dark.color(QPalette::Text);
    for (const Case& c : cases) {
      const QColor shown = ThemedBackground(c.Light, dark);
      // Readable: at least the contrast asked of body text.
      EXPECT_GE(Contrast(shown, text), 4.5)
          << std::hex << c.Light << " " << shown.name().toStdString();
      EXPECT_NE(shown, dark.color(QPalette::Base)) << "still stands off the base";
      EXPECT_EQ(shown.hslHue(), c.Hue) << std::hex << c.Light;
    }
    // The rows keep telling the types apart.
    EXPECT_NE(ThemedBackground(0xFFFFCC, dark), ThemedBackground(0xFFCCCC, dark));
    EXPECT_NE(ThemedBackground(0xFFFFCC, dark), ThemedBackground(0xF7F7FF, dark));
    EXPECT_NE(ThemedBackground(0xFFCCCC, dark), ThemedBackground(0xF7F7FF, dark));
  }
}

}  // namespace
}  // namespace riffo
