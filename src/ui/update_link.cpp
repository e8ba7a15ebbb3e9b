// The about box's update label: a link the keyboard and assistive technology reach as well.
#include "ui/update_link.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>

namespace quillmate::ui {
namespace {

// A button for assistive technology: named by the label's text, pressable while it is a link.
class UpdateLinkAccess : public QAccessibleWidget {
 public:
  explicit UpdateLinkAccess(UpdateLink *link) : QAccessibleWidget(link, QAccessible::Button) {}

  QString text(QAccessible::Text kind) const override {
    if (kind == QAccessible::Name) return Link()->text();
    return QAccessibleWidget::text(kind);
  }
  QStringList actionNames() const override {
    return Link()->IsLink() ? QStringList{pressAction()} : QStringList{};
  }
  void doAction(const QString &action) override {
    if (action == pressAction()) Link()->Activate();
  }

 private:
  UpdateLink *Link() const { return static_cast<UpdateLink *>(widget()); }
};

QAccessibleInterface *MakeUpdateLinkAccess(const QString &class_name, QObject *object) {
  if (class_name != QLatin1String(UpdateLink::staticMetaObject.className())) return nullptr;
  auto *link = qobject_cast<UpdateLink *>(object);
  return link ? new UpdateLinkAccess(link) : nullptr;
}

}  // namespace

UpdateLink::UpdateLink(QWidget *parent) : CLabel(parent) {
  static const bool installed = [] {
    QAccessible::installFactory(MakeUpdateLinkAccess);
    return true;
  }();
  (void)installed;
  SetClickHandler([this] { Activate(); });
  SetLinkOn(false);
}

void UpdateLink::SetActivation(std::function<void()> activate) {
  activate_ = std::move(activate);
}

void UpdateLink::SetLinkOn(bool on) {
  SetLink(on);
  SetLinkCursor(on ? std::optional<QCursor>(Qt::PointingHandCursor) : std::nullopt);
  setFocusPolicy(on ? Qt::StrongFocus : Qt::NoFocus);
}

void UpdateLink::Activate() {
  if (IsLink() && activate_) activate_();
}

void UpdateLink::keyPressEvent(QKeyEvent *event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
      if (IsLink()) {
        Activate();
        return;
      }
      break;
    default:
      break;
  }
  CLabel::keyPressEvent(event);
}

}  // namespace quillmate::ui
