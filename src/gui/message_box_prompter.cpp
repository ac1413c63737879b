#include "gui/message_box_prompter.h"

#include <QApplication>
#include <QImage>
#include <QMessageBox>
#include <QPixmap>

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
  } else if (buttons == BoxButtons::YesNoDefaultNo) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::No);
  } else {
    box.setStandardButtons(QMessageBox::Ok);
  }
  int answer = box.exec();
  if (buttons == BoxButtons::Ok) return BoxAnswer::Ok;
  // Closing a question box without an answer counts as No: nothing that asked is done.
  return answer == QMessageBox::Yes ? BoxAnswer::Yes : BoxAnswer::No;
}

void MessageBoxPrompter::showPicture(const std::string& text, const std::string& title, BoxIcon icon,
                                     const std::vector<std::vector<bool>>& picture, const std::string& privateText) {
  if (log_) {
    std::string extra = iconName(icon);
    if (!title.empty()) extra += " title \"" + title + "\"";
    log_->record({"box", text, true, extra});
  }
  constexpr int kScale = 5, kQuiet = 4;  // pixels a module; modules of white around the code, as readers expect
  const int size = static_cast<int>(picture.size());
  QImage image((size + 2 * kQuiet) * kScale, (size + 2 * kQuiet) * kScale, QImage::Format_RGB32);
  image.fill(Qt::white);
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < static_cast<int>(picture[y].size()); ++x)
      if (picture[y][x])
        for (int dy = 0; dy < kScale; ++dy)
          for (int dx = 0; dx < kScale; ++dx) image.setPixel((x + kQuiet) * kScale + dx, (y + kQuiet) * kScale + dy, 0);
  // The private part is on the screen only: the log above has the text alone.
  QString body = QString::fromStdString(privateText.empty() ? text : text + "\r\n\r\n" + privateText);
  body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  QMessageBox box(qtIcon(icon), QString::fromStdString(title.empty() ? std::string(kProductName) : title), body,
                  QMessageBox::Ok, QApplication::activeWindow());
  box.setObjectName(QStringLiteral("messageBox"));
  box.setTextFormat(Qt::PlainText);
  box.setTextInteractionFlags(Qt::TextSelectableByMouse);  // the address can be copied
  if (!picture.empty()) box.setIconPixmap(QPixmap::fromImage(image));
  box.exec();
}

}  // namespace qm
