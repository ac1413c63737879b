#pragma once
// Answers the next message box once it is up, by clicking one of its buttons, and remembers how the box looked.
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace qm::test {

class BoxAnswerer {
 public:
  explicit BoxAnswerer(QMessageBox::StandardButton b) : button(b) {
    poll_.setInterval(0);
    QObject::connect(&poll_, &QTimer::timeout, [this] { answer(); });
  }
  // Looks for the box from the event loop that the box runs.
  void arm() { poll_.start(); }
  bool answered() const { return answered_; }

  QMessageBox::StandardButton button;
  QString title, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;

 private:
  void answer() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    poll_.stop();
    answered_ = true;
    title = box->windowTitle();
    text = box->text();
    icon = box->icon();
    buttons = box->standardButtons();
    box->button(button)->click();
  }

  QTimer poll_;
  bool answered_ = false;
};

}  // namespace qm::test
