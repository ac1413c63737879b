#pragma once
// The node simulator window: the operator plays the EchoLink node and the far end of Skype by hand. DTMF keys build
// a string that is sent whole, as EchoLink delivers it; switches raise and drop the carrier, network audio and the
// two busy states; a station connects and disconnects; chat and station text arrive; EchoLink closes; the Skype far
// end answers, is busy or hangs up. Every action is a scenario action of the session, echoed into the transcript.
// A live view shows what goes on the air: the transmitter's PTT, spoken text, Morse, and the other output events.
#include <QWidget>
#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QScrollArea;

namespace qm {

class ProblemLine;
class Session;
struct OutputEvent;

class NodeSimulator : public QWidget {
 public:
  explicit NodeSimulator(Session& session, QWidget* parent = nullptr);
  ~NodeSimulator() override;

  // Runs one scenario action as the operator's input; the status line tells when it was refused.
  void run(const std::vector<std::string>& words);
  QString status() const;
  // A problem the operator must see (no sound device, a voice or server that did not start): shown in red above the
  // status line until the next one; every one so far in its tooltip.
  void showProblem(const QString& problem);
  QString problems() const;
  // Shows again what the session offers once the program has started (the SIP settings window, the Skype buttons).
  void refresh() { refreshState(); }
  // The size that shows every control, and the smallest that shows them without scrolling.
  QSize preferredSize() const;
  QSize comfortableMinimum() const;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QWidget* buildDtmf();
  QWidget* buildRadio();
  QWidget* buildStation();
  QWidget* buildTexts();
  QWidget* buildSkype();
  QWidget* buildAir();
  void sendDigits();
  void airEvent(const OutputEvent& event);
  void refreshState();
  void setStatus(const QString& text, bool error);

  Session& session_;
  QLineEdit* digits_ = nullptr;
  QCheckBox* carrier_ = nullptr;
  QCheckBox* rx_ = nullptr;
  QCheckBox* busyA_ = nullptr;
  QCheckBox* busyB_ = nullptr;
  QLineEdit* call_ = nullptr;
  QLineEdit* name_ = nullptr;
  QLineEdit* address_ = nullptr;
  QLineEdit* text_ = nullptr;
  QLabel* ptt_ = nullptr;
  QPlainTextEdit* air_ = nullptr;
  QLabel* status_ = nullptr;
  ProblemLine* problem_ = nullptr;
  QScrollArea* scroll_ = nullptr;
  QWidget* content_ = nullptr;
  QWidget* simulatedSkype_ = nullptr;  // the far end's buttons, for the simulated Skype client only
  QWidget* sipSettings_ = nullptr;
};

// A way back to the node simulator once it is closed: Ctrl+N anywhere in the program, and "Node simulator" in the
// context menu of `main` (the main window).
void offerNodeSimulator(QWidget& main, NodeSimulator& simulator);

// A scenario command line for the words, quoting what needs quotes (as the transcript echoes inputs).
std::string commandLine(const std::vector<std::string>& words);

}  // namespace qm
