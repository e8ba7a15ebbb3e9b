// The window for keyboard users and assistive technology: every control has a name without blanks
// around it, mnemonics do not collide in either language, Tab walks the window in reading order,
// and "Einzeln" in "Schreiben" is found and pressed through the accessibility interface.
#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QCheckBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <map>
#include <set>

#include "ui/beep_time_dlg.h"
#include "ui/hex_edit.h"
#include "ui/ip_addr_suche.h"
#include "ui/port_dlg.h"
#include "ui/series_dlg.h"
#include "window_rig.h"
#include "writer/language/translation.h"

namespace quillmate_test {
namespace {

// The name a screen reader announces: the caption that labels the control where one does (Linux
// names a list box by the label related to it, not by its own name), else its own name.
QString AccessibleName(QObject *object) {
  QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(object);
  if (accessible == nullptr) return {};
  for (const auto &[label, relation] : accessible->relations(QAccessible::Label)) {
    if (qobject_cast<QLabel *>(label->object()) != nullptr) return label->text(QAccessible::Name);
  }
  return accessible->text(QAccessible::Name);
}

// The letter after a single '&' of a caption, lower case; none when it has no mnemonic.
QChar Mnemonic(const QString &caption) {
  for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != QLatin1Char('&')) continue;
    if (caption[i + 1] == QLatin1Char('&')) {
      ++i;
      continue;
    }
    return caption[i + 1].toLower();
  }
  return {};
}

// The controls Tab can reach: visible, enabled, taking focus by Tab.
QList<QWidget *> TabStops(QWidget *window) {
  QList<QWidget *> stops;
  for (QWidget *widget : window->findChildren<QWidget *>()) {
    if (widget->isVisibleTo(window) && widget->isEnabled() &&
        (widget->focusPolicy() & Qt::TabFocus) && widget->window() == window &&
        widget->focusProxy() == nullptr) {
      stops.append(widget);
    }
  }
  return stops;
}

// Every Tab stop of `window` has a name, and no two stops in one group share it.
void ExpectEveryControlNamed(QWidget *window) {
  std::set<std::pair<QString, QString>> names;
  for (QWidget *stop : TabStops(window)) {
    const QString name = AccessibleName(stop);
    EXPECT_FALSE(name.trimmed().isEmpty()) << window->metaObject()->className() << ": a "
                                           << stop->metaObject()->className() << " without a name";
    // A screen reader reads blanks around a name out or stumbles over them.
    EXPECT_EQ(name, name.trimmed()) << window->metaObject()->className() << ": '"
                                    << name.toStdString() << "' has blanks around it";
    const QString group = AccessibleName(stop->parentWidget());
    EXPECT_TRUE(names.insert({group, name}).second)
        << window->metaObject()->className() << ": two controls named '" << name.toStdString()
        << "' in '" << group.toStdString() << "'";
  }
}

class KeyboardAndNames : public WindowRig {
 protected:
  void TearDown() override {
    quillmate::RemoveEnglishTexts(*qApp);
    WindowRig::TearDown();
  }

  // Every control of the window is named, and no two captions share a mnemonic.
  void ExpectNamedAndMnemonicsApart() {
    ExpectEveryControlNamed(&window());
    std::map<QChar, QString> owners;
    const auto claim = [&](const QString &caption) {
      const QChar letter = Mnemonic(caption);
      if (letter.isNull()) return;
      const auto [owner, fresh] = owners.emplace(letter, caption);
      EXPECT_TRUE(fresh) << "'" << caption.toStdString() << "' and '" << owner->second.toStdString()
                         << "' share Alt+" << QString(letter).toStdString();
    };
    for (QAbstractButton *button : window().findChildren<QAbstractButton *>()) {
      if (button->isVisibleTo(&window())) claim(button->text());
    }
    for (QLabel *label : window().findChildren<QLabel *>()) {
      if (label->buddy() != nullptr) claim(label->text());
    }
    for (QGroupBox *group : window().findChildren<QGroupBox *>()) claim(group->title());
    for (QAction *menu : form().menu_bar->actions()) claim(menu->text());
    EXPECT_GE(owners.size(), 15u) << "the captions lost their mnemonics";
  }
};

TEST_F(KeyboardAndNames, EveryControlIsNamedAndNoTwoCaptionsShareAMnemonic) {
  OpenWindow();
  ExpectNamedAndMnemonicsApart();
  // A field is named by the caption in front of it, and that caption's mnemonic reaches it.
  EXPECT_EQ(AccessibleName(form().app_id), QStringLiteral("App ID:"));
  EXPECT_EQ(AccessibleName(form().write.key), QStringLiteral("Schlüssel für Schreiben"));
  QTest::keyClick(&window(), Qt::Key_K, Qt::AltModifier);
  EXPECT_EQ(QApplication::focusWidget(), form().key_count);

  window_.reset();
  ASSERT_TRUE(quillmate::InstallEnglishTexts(
      *qApp, {QFileInfo(QStringLiteral(QUILLMATE_ENGLISH_QM)).absolutePath()}));
  OpenWindow(quillmate::Language::kEnglish);
  ASSERT_EQ(form().write_single->text(), QStringLiteral("&Single"));
  ExpectNamedAndMnemonicsApart();
}

TEST_F(KeyboardAndNames, TheDialogsNameEveryControl) {
  quillmate::ui::CBeepTimeDlg settings(100, 500);
  ExpectEveryControlNamed(&settings);
  quillmate::ui::CIPAddrSuche search;
  ExpectEveryControlNamed(&search);
  quillmate::ui::CPortDlg ports(quillmate::PortSettings{}, quillmate::Language::kGerman);
  ExpectEveryControlNamed(&ports);
  quillmate::ui::CSeriesDlg series([] { return quillmate::SeriesRecord{}; }, QString());
  ExpectEveryControlNamed(&series);
}

TEST_F(KeyboardAndNames, TabWalksTheGroupsInReadingOrder) {
  OpenWindow();
  // The window's parts from top left to bottom right; a control belongs to the first it lies in.
  const QList<QWidget *> parts = {
      form().app_id->parentWidget(),      form().no_number->parentWidget(),
      form().binary->parentWidget(),      form().normal->parentWidget(),
      form().card_key->parentWidget(),    form().data->parentWidget(),
      form().log_write->parentWidget(),   form().status,
      form().reset_status->parentWidget()};
  const auto part_of = [&](QWidget *widget) {
    for (int i = 0; i < parts.size(); ++i) {
      if (widget == parts[i] || parts[i]->isAncestorOf(widget)) return i;
    }
    return -1;
  };
  form().app_id->setFocus();
  // A round ends where it began; radio buttons of a group are one stop.
  QList<QWidget *> visited = {QApplication::focusWidget()};
  for (qsizetype i = 0; i < TabStops(&window()).size(); ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    if (QApplication::focusWidget() == form().app_id) break;
    visited.append(QApplication::focusWidget());
  }
  int part = 0;
  for (QWidget *widget : visited) {
    ASSERT_NE(widget, nullptr);
    const int next = part_of(widget);
    EXPECT_GE(next, part) << "Tab went back to " << widget->metaObject()->className() << " '"
                          << AccessibleName(widget).toStdString() << "'";
    part = std::max(part, next);
  }
  EXPECT_EQ(part, parts.size() - 1) << "Tab never reached the buttons at the bottom";
  EXPECT_TRUE(visited.contains(form().write_single));
  EXPECT_TRUE(visited.contains(form().choose_log_read));
}

// As a screen reader or a UI automation tool does it: the window's accessible tree, the group
// "Schreiben", its button "Einzeln", the button's press action.
TEST_F(KeyboardAndNames, EinzelnInSchreibenIsFoundByNameAndPressedThroughAccessibility) {
  OpenWindow();
  Type(form().data, QStringLiteral("4711"));
  const std::function<QAccessibleInterface *(QAccessibleInterface *, QAccessible::Role,
                                             const QString &)>
      find = [&](QAccessibleInterface *node, QAccessible::Role role,
                 const QString &name) -> QAccessibleInterface * {
    for (int i = 0; i < node->childCount(); ++i) {
      QAccessibleInterface *child = node->child(i);
      if (child == nullptr) continue;
      if (child->role() == role && child->text(QAccessible::Name) == name) return child;
      if (QAccessibleInterface *deeper = find(child, role, name)) return deeper;
    }
    return nullptr;
  };
  QAccessibleInterface *root = QAccessible::queryAccessibleInterface(&window());
  ASSERT_NE(root, nullptr);
  QAccessibleInterface *write_group =
      find(root, QAccessible::Grouping, QStringLiteral("Schreiben"));
  ASSERT_NE(write_group, nullptr);
  QAccessibleInterface *single = find(write_group, QAccessible::Button, QStringLiteral("Einzeln"));
  ASSERT_NE(single, nullptr);
  ASSERT_NE(single->actionInterface(), nullptr);
  single->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  ASSERT_TRUE(WaitFor([&] { return card_->Application(window().Job().app_id) != nullptr; }))
      << window().StatusLines().join('\n').toStdString();
  EXPECT_TRUE(
      window().StatusLines().contains(QStringLiteral("Wert <4711> erfolgreich geschrieben")));
}

}  // namespace
}  // namespace quillmate_test
