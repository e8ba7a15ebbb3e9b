// The hex field's filter and field exchange, the transparent picture and the link label, on the
// real widgets.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDropEvent>
#include <QFile>
#include <QInputMethodEvent>
#include <QMenu>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <functional>

#include "message_recorder.h"
#include "ui/bitmap_static.h"
#include "ui/hex_edit.h"
#include "ui/label.h"

static void PrintTo(const QString &text, std::ostream *out) {
  *out << '"' << text.toStdString() << '"';
}

namespace quillmate::ui {
namespace {

TEST(HexEditTest, TypingLetsOnlyHexDigitsThroughAndKeepsTheEditingKeys) {
  CHexEdit edit;
  QTest::keyClicks(&edit, QStringLiteral("1g -Ff9x"));
  EXPECT_EQ(edit.text(), QStringLiteral("1Ff9"));

  QTest::keyClick(&edit, Qt::Key_Backspace);
  QTest::keyClick(&edit, Qt::Key_Left);
  QTest::keyClick(&edit, 'A');
  QTest::keyClick(&edit, Qt::Key_Home);
  QTest::keyClick(&edit, Qt::Key_Delete);
  EXPECT_EQ(edit.text(), QStringLiteral("FAf"));

  QTest::keyClick(&edit, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(&edit, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("FAf"));
  QTest::keyClick(&edit, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(edit.text(), QStringLiteral("1FAf"));
}

// The ways text reaches the field without typing, each run on `edit` with `text` on the clipboard
// or in the drop.
struct InsertWay {
  const char *name;
  std::function<void(CHexEdit &, const QString &)> insert;
};

const InsertWay kPasteWays[] = {
    {"Ctrl+V",
     [](CHexEdit &edit, const QString &text) {
       QGuiApplication::clipboard()->setText(text);
       QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
     }},
    {"context menu",
     [](CHexEdit &edit, const QString &text) {
       QGuiApplication::clipboard()->setText(text);
       QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(1, 1), QPoint(1, 1));
       QApplication::sendEvent(&edit, &event);
       auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
       ASSERT_NE(menu, nullptr);
       QAction *paste = CHexEdit::PasteAction(*menu);
       ASSERT_NE(paste, nullptr);
       paste->trigger();
       menu->close();
     }},
    {"drop",
     [](CHexEdit &edit, const QString &text) {
       QMimeData data;
       data.setText(text);
       QDropEvent event(QPointF(1, 1), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
       edit.event(&event);  // a drop reaches a widget only during a drag; this one is made up
       QApplication::processEvents();  // a refusal is told once the drop is over
     }},
};

// A number or key copied from elsewhere arrives as its digits: one leading 0x, blanks and colons
// are taken away, and nothing else is changed or cut.
TEST(HexEditTest, PastedAndDroppedHexArrivesWithoutPrefixBlanksAndColons) {
  const struct {
    QString text, field;
  } cases[] = {
      {QStringLiteral("0x4B4D01"), QStringLiteral("4B4D01")},
      {QStringLiteral(" 0X0a:0B\n"), QStringLiteral("0a0B")},
      {QStringLiteral("12 34:56"), QStringLiteral("123456")},
      {QStringLiteral("FF"), QStringLiteral("FF")},
  };
  quillmate_test::MessageRecorder boxes;
  for (const InsertWay &way : kPasteWays) {
    for (const auto &c : cases) {
      SCOPED_TRACE(std::string(way.name) + ": " + c.text.toStdString());
      CHexEdit edit;
      edit.setMaxLength(6);
      way.insert(edit, c.text);
      EXPECT_EQ(edit.text(), c.field);
    }
  }
  EXPECT_TRUE(boxes.texts.isEmpty()) << boxes.texts.join('\n').toStdString();

  // Typed text, also from an input method, keeps dropping what is no hex digit.
  CHexEdit edit;
  edit.setMaxLength(6);
  QInputMethodEvent event;
  event.setCommitString(QStringLiteral("12 34-56:78"));
  QApplication::sendEvent(&edit, &event);
  EXPECT_EQ(edit.text(), QStringLiteral("123456"));
}

// Text that is no hex number, or more digits than the field has room for, is refused whole with a
// message: the field and its selection stay as they were, instead of taking the hex letters out of
// a word ("Hallo!" gave "a") or cutting a number ("0x4B4D01" gave 04B4D0).
TEST(HexEditTest, PastedTextThatIsNoHexOrDoesNotFitIsRefusedWithAMessage) {
  const QString not_hex = QStringLiteral(
      " ist keine Hex-Eingabe und wurde nicht eingefügt. Erlaubt sind die Ziffern 0 bis 9 und A "
      "bis "
      "F, davor 0x, dazwischen Leerzeichen oder Doppelpunkte.");
  const struct {
    QString text, message;
  } cases[] = {
      {QStringLiteral("Hallo!"), QStringLiteral("\"Hallo!\"") + not_hex},
      {QStringLiteral("12-34"), QStringLiteral("\"12-34\"") + not_hex},
      {QStringLiteral("4B4D 0x01"), QStringLiteral("\"4B4D 0x01\"") + not_hex},
      // %1: the room left, 5 where the pasted text replaces the selected "A", 4 for a drop
      {QStringLiteral("0x4B4D01"),
       QStringLiteral("Der Text hat 6 Hex-Ziffern, in das Feld passen nur noch %1. Er wurde nicht "
                      "eingefügt.")},
  };
  for (const InsertWay &way : kPasteWays) {
    const bool drop = std::string(way.name) == "drop";
    for (const auto &c : cases) {
      SCOPED_TRACE(std::string(way.name) + ": " + c.text.toStdString());
      quillmate_test::MessageRecorder boxes;
      CHexEdit edit;
      edit.setMaxLength(7);
      edit.setText(QStringLiteral("ABC"));
      edit.setSelection(0, 1);
      way.insert(edit, c.text);
      EXPECT_EQ(edit.text(), QStringLiteral("ABC"));
      const QString message =
          c.message.contains(QStringLiteral("%1")) ? c.message.arg(drop ? 4 : 5) : c.message;
      EXPECT_EQ(boxes.texts, QStringList{message});
      EXPECT_EQ(boxes.icons, std::vector<BoxIcon>{BoxIcon::kWarning});
      if (!drop) {
        EXPECT_EQ(edit.selectedText(), QStringLiteral("A"));
      }
    }
  }

  // A hidden key is not shown in the message; an empty clipboard changes nothing and says nothing.
  quillmate_test::MessageRecorder boxes;
  CHexEdit key;
  key.setEchoMode(QLineEdit::Password);
  kPasteWays[0].insert(key, QStringLiteral("secret key"));
  kPasteWays[0].insert(key, QString());
  EXPECT_TRUE(key.text().isEmpty());
  ASSERT_EQ(boxes.texts.size(), 1);
  EXPECT_FALSE(boxes.texts[0].contains(QStringLiteral("secret")));
  // What the program sets is shown as it is, so that a wrong key can be seen and refused.
  key.setText(QStringLiteral("12G4"));
  EXPECT_EQ(key.text(), QStringLiteral("12G4"));
}

TEST(HexEditTest, FieldExchangeReadsLikeABase16Conversion) {
  const struct {
    QString text;
    unsigned value;
  } cases[] = {
      {QStringLiteral("1A2B"), 0x1A2B},
      {QString(), 0},
      {QStringLiteral("xyz"), 0},
      {QStringLiteral(" \t0x1f"), 0x1F},
      {QStringLiteral("+ff"), 0xFF},
      {QStringLiteral("12G4"), 0x12},
      {QStringLiteral("0x"), 0},
      {QStringLiteral("-1"), 0xFFFFFFFF},
      {QStringLiteral("100000000"), 0xFFFFFFFF},
      {QStringLiteral("-100000000"), 0xFFFFFFFF},
      // Only the first 31 characters count.
      {QString(29, u'0') + QStringLiteral("1F"), 0x1F},
      {QString(30, u'0') + QStringLiteral("1F"), 0x1},
  };
  QLineEdit field;
  for (const auto &c : cases) {
    SCOPED_TRACE(c.text.toStdString());
    field.setText(c.text);
    EXPECT_EQ(HexTextValue(field), c.value);
  }

  SetHexText(field, 255);
  EXPECT_EQ(field.text(), QStringLiteral("FF"));
  SetHexText(field, 0);
  EXPECT_EQ(field.text(), QStringLiteral("0"));
}

TEST(HexEditTest, RangeCheckNamesBothBoundsInHexAndSelectsTheField) {
  quillmate_test::MessageRecorder boxes;
  QWidget window;
  auto *other = new QLineEdit(&window);
  auto *field = new CHexEdit(&window);
  field->setText(QStringLiteral("0"));
  other->setFocus();

  EXPECT_TRUE(DDV_HexMinMax(field, 1, 1, 0xFFFFFF));
  EXPECT_TRUE(DDV_HexMinMax(field, 0xFFFFFF, 1, 0xFFFFFF));
  EXPECT_TRUE(boxes.texts.isEmpty());
  EXPECT_EQ(window.focusWidget(), other);

  EXPECT_FALSE(DDV_HexMinMax(field, 0, 1, 0xFFFFFF));
  EXPECT_EQ(boxes.texts,
            QStringList{QStringLiteral("Geben Sie eine ganze Zahl zwischen 1 und FFFFFF ein.")});
  EXPECT_EQ(boxes.icons, std::vector<BoxIcon>{BoxIcon::kWarning});
  EXPECT_EQ(window.focusWidget(), field);
  EXPECT_EQ(field->selectedText(), QStringLiteral("0"));
}

// A picture on a coloured window: white pixels let the window through when transparent, every
// other pixel (even one step off white) is copied; without a picture the window shows everywhere.
TEST(BitmapStaticTest, TransparentPictureShowsTheBackgroundWhereItIsWhite) {
  const QColor background(0x33, 0x66, 0x99);
  const QColor red(Qt::red);
  const QColor almost_white(254, 255, 255);
  QImage image(8, 8, QImage::Format_RGB32);
  image.fill(Qt::white);
  image.setPixelColor(4, 4, red);
  image.setPixelColor(5, 5, almost_white);

  QTemporaryDir dir;
  const QString svg = dir.filePath(QStringLiteral("lamp.svg"));
  {
    QFile file(svg);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"(<svg xmlns="http://www.w3.org/2000/svg" width="20" height="20">)"
               R"(<circle cx="10" cy="10" r="6" fill="#ff0000"/></svg>)");
  }

  QWidget window;
  window.resize(40, 40);
  QPalette palette = window.palette();
  palette.setColor(QPalette::Window, background);
  window.setPalette(palette);
  window.setAutoFillBackground(true);
  auto *picture = new CBitmapStatic(&window);
  picture->setGeometry(0, 0, 40, 40);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  auto pixel = [&window](int x, int y) { return window.grab().toImage().pixelColor(x, y); };

  EXPECT_EQ(pixel(0, 0), background);  // no picture

  picture->SetImage(image);
  EXPECT_EQ(pixel(0, 0), QColor(Qt::white));
  picture->SetTransparent(true);
  EXPECT_EQ(pixel(0, 0), background);
  EXPECT_EQ(pixel(7, 7), background);
  EXPECT_EQ(pixel(4, 4), red);
  EXPECT_EQ(pixel(5, 5), almost_white);
  EXPECT_EQ(pixel(20, 20), background);  // beyond the picture

  ASSERT_TRUE(picture->LoadSvg(svg, QSize(20, 20)));
  EXPECT_EQ(pixel(1, 1), background);
  EXPECT_EQ(pixel(10, 10), red);
  EXPECT_FALSE(picture->LoadSvg(dir.filePath(QStringLiteral("missing.svg")), QSize(20, 20)));
  EXPECT_EQ(pixel(10, 10), background);
}

// Receives what QDesktopServices would hand to the desktop.
class UrlCatcher : public QObject {
  Q_OBJECT

 public:
  UrlCatcher() {
    for (const char *scheme : {"http", "https", "mailto"}) {
      QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "Open");
    }
  }
  ~UrlCatcher() override {
    for (const char *scheme : {"http", "https", "mailto"}) {
      QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    }
  }
  QList<QUrl> opened;

 public slots:
  void Open(const QUrl &url) { opened.append(url); }
};

TEST(LabelTest, ALeftClickOnALinkOpensItsText) {
  UrlCatcher desktop;
  const struct {
    QString text;
    QUrl opened;
  } cases[] = {
      {QStringLiteral("https://example.com/hilfe?x=1"),
       QUrl(QStringLiteral("https://example.com/hilfe?x=1"))},
      {QStringLiteral("www.example.com"), QUrl(QStringLiteral("http://www.example.com"))},
      {QStringLiteral("info@example.com"), QUrl(QStringLiteral("mailto:info@example.com"))},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.text.toStdString());
    CLabel label;
    label.SetText(c.text);
    desktop.opened.clear();
    QTest::mouseClick(&label, Qt::RightButton);
    EXPECT_TRUE(desktop.opened.isEmpty());
    QTest::mouseClick(&label, Qt::LeftButton);
    EXPECT_EQ(desktop.opened, QList<QUrl>{c.opened});

    label.SetLink(false);
    QTest::mouseClick(&label, Qt::LeftButton);
    EXPECT_EQ(desktop.opened.size(), 1);
  }

  CLabel empty;
  desktop.opened.clear();
  QTest::mouseClick(&empty, Qt::LeftButton);
  EXPECT_TRUE(desktop.opened.isEmpty());
}

TEST(LabelTest, LinkCursorAndFontSettersAddUp) {
  CLabel label;
  label.SetLinkCursor(QCursor(Qt::PointingHandCursor));
  EXPECT_EQ(label.cursor().shape(), Qt::PointingHandCursor);
  label.SetLinkCursor(std::nullopt);
  EXPECT_EQ(label.cursor().shape(), Qt::ArrowCursor);

  label.SetFontName(QStringLiteral("Courier"));
  label.SetFontSize(20);
  label.SetFontItalic(true);
  EXPECT_EQ(label.font().family(), QStringLiteral("Courier"));
  EXPECT_EQ(label.font().pixelSize(), 20);
  EXPECT_TRUE(label.font().italic());

  // Markup is shown as text.
  label.SetText(QStringLiteral("<b>x</b>"));
  EXPECT_EQ(label.textFormat(), Qt::PlainText);
}

}  // namespace
}  // namespace quillmate::ui

#include "custom_controls_test.moc"
