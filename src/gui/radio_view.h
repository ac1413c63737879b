#pragma once
// The live view of the radio node (--node radio), in place of the node simulator: the carrier, the transmitter's
// PTT, the DTMF digits as they are decoded and the strings they made, the receive and transmit levels, the phone
// call's levels (the far end, and what is sent to it), the EchoLink network's state and its connected stations, the
// last problem reported, and the way to the radio's and the network's settings windows.
#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QTimer;

namespace qm {

class EchoLinkApp;
class ProblemLine;
namespace radio {
class RadioNode;
}

class RadioView : public QWidget {
 public:
  explicit RadioView(radio::RadioNode& node, QWidget* parent = nullptr);
  ~RadioView() override;

  QString digits() const;    // the digits heard so far, and the last string raised
  QStringList stations() const;  // the connected stations, as listed
  // Shown in red until the next one; the last ten in its tool tip.
  void showProblem(const QString& problem);
  QString problem() const;

  // The settings windows the program has, opened by the view's buttons: `exists` says whether the program has a
  // window of that name, `show` opens it.
  void offerWindows(std::function<bool(const std::string&)> exists, std::function<void(const std::string&)> show);

 private:
  void refresh();

  radio::RadioNode& node_;
  std::unique_ptr<EchoLinkApp> listener_;  // sees the node's events as every window of the program does
  QLabel* carrier_ = nullptr;
  QLabel* ptt_ = nullptr;
  QLabel* digits_ = nullptr;
  QLabel* last_ = nullptr;
  QLabel* network_ = nullptr;
  ProblemLine* problem_ = nullptr;
  QListWidget* stations_ = nullptr;
  QProgressBar* rx_ = nullptr;
  QProgressBar* tx_ = nullptr;
  QProgressBar* callRx_ = nullptr;
  QProgressBar* callTx_ = nullptr;
  QPushButton* radioSettings_ = nullptr;
  QPushButton* echoLinkSettings_ = nullptr;
  QTimer* timer_ = nullptr;
  QString heard_;
};

}  // namespace qm
