#include "gui/message_box_prompter.h"

#include <QApplication>
#include <QMessageBox>

#include "app/version.h"

namespace qm {

namespace {

QMessageBox::Icon qtIcon(BoxIcon icon) {
  switch (icon) {
    case BoxIcon::None:
      return QMessageBox::NoIcon;
    case BoxIcon::Warning:
      return QMessageBox::Warning;
    case BoxIcon::Question:
      return QMessageBox::Question;
    case BoxIcon::Information:
      return QMessageBox::Information;
    case BoxIcon::Critical:
      return QMessageBox::Critical;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

BoxAnswer MessageBoxPrompter::show(const std::string& text, const std::string& title, BoxIcon icon,
                                   BoxButtons buttons) {
  if (log_) {
    std::string extra = iconName(icon);
    if (!title.empty()) extra += " title \"" + title + "\"";
    log_->record({"box", text, true, extra});
  }
  QString body = QString::fromStdString(text);
  body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  QMessageBox box(qtIcon(icon), QString::fromStdString(title.empty() ? std::string(kProductName) : title), body,
                  QMessageBox::NoButton, QApplication::activeWindow());
  box.setObjectName(QStringLiteral("messageBox"));
  box.setTextFormat(Qt::PlainText);
  if (buttons == BoxButtons::YesNo) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);  // the first button is the default: Enter answers Yes
  } else {
    box.setStandardButtons(QMessageBox::Ok);
  }
  int answer = box.exec();
  if (buttons == BoxButtons::Ok) return BoxAnswer::Ok;
  // Closing a question box without an answer counts as No: nothing that asked is done.
  return answer == QMessageBox::Yes ? BoxAnswer::Yes : BoxAnswer::No;
}

}  // namespace qm
