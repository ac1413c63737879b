// The desktop's boxes for access control: the one-time code secret's QR code drawn in the icon's place, and the
// operator's "dial it all the same?" question, whose default button is No.
#include <QApplication>
#include <QImage>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <vector>

#include "gui/message_box_prompter.h"
#include "platform/output_log.h"

using namespace qm;

namespace {

class RecordingLog : public OutputLog {
 public:
  void record(const OutputEvent& e) override { events.push_back(e); }
  std::vector<OutputEvent> events;
};

// Looks at the next modal box from the event loop it runs, then presses the given button.
class BoxInspector {
 public:
  explicit BoxInspector(QMessageBox::StandardButton press) : press_(press) {
    poll_.setInterval(0);
    QObject::connect(&poll_, &QTimer::timeout, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      poll_.stop();
      seen = true;
      pixmap = box->iconPixmap();
      text = box->text();
      defaultButton = box->standardButton(box->defaultButton());
      box->button(press_)->click();
    });
    poll_.start();
  }
  bool seen = false;
  QPixmap pixmap;
  QString text;
  QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;

 private:
  QMessageBox::StandardButton press_;
  QTimer poll_;
};

}  // namespace

class AccessBoxesTest : public QObject {
  Q_OBJECT

 private slots:
  void theQrCodeIsDrawnBesideTheTextAndTheSecretIsNeverLogged() {
    RecordingLog log;
    MessageBoxPrompter prompter(&log);
    // A 3 x 3 picture: dark corners and centre.
    std::vector<std::vector<bool>> picture = {{true, false, true}, {false, true, false}, {true, false, true}};
    BoxInspector inspect(QMessageBox::Ok);
    prompter.showPicture("Scan it.", "One-time codes", BoxIcon::Information, picture, "otpauth://totp/x");
    QVERIFY(inspect.seen);
    QCOMPARE(inspect.text, QStringLiteral("Scan it.\n\notpauth://totp/x"));
    QImage image = inspect.pixmap.toImage();
    // Five pixels a module, four modules of white around it.
    QCOMPARE(image.width(), (3 + 8) * 5);
    QCOMPARE(image.height(), (3 + 8) * 5);
    auto dark = [&](int mx, int my) { return qGray(image.pixel((mx + 4) * 5 + 2, (my + 4) * 5 + 2)) < 128; };
    QVERIFY(dark(0, 0));
    QVERIFY(!dark(1, 0));
    QVERIFY(dark(1, 1));
    QVERIFY(dark(2, 2));
    QVERIFY(qGray(image.pixel(2, 2)) > 128);  // the quiet zone
    QCOMPARE(log.events.size(), std::size_t(1));
    // The secret is on the screen, never in the log.
    QCOMPARE(QString::fromStdString(log.events[0].arg), QStringLiteral("Scan it."));
  }

  void theOverrideQuestionDefaultsToNo() {
    MessageBoxPrompter prompter;
    BoxInspector inspect(QMessageBox::No);
    BoxAnswer a =
        prompter.show("Dial it all the same?", "Access control", BoxIcon::Question, BoxButtons::YesNoDefaultNo);
    QVERIFY(inspect.seen);
    QCOMPARE(inspect.defaultButton, QMessageBox::No);
    QVERIFY(a == BoxAnswer::No);
  }
};

QTEST_MAIN(AccessBoxesTest)
#include "access_boxes_test.moc"
