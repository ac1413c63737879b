#pragma once
// The live view of the radio node (--node radio), in place of the node simulator: the carrier, the transmitter's
// PTT, the DTMF digits as they are decoded and the strings they made, the receive and transmit levels, and the phone
// call's levels (the far end, and what is sent to it).
#include <QWidget>

class QLabel;
class QProgressBar;
class QTimer;

namespace qm {

class EchoLinkApp;
namespace radio {
class RadioNode;
}

class RadioView : public QWidget {
 public:
  explicit RadioView(radio::RadioNode& node, QWidget* parent = nullptr);
  ~RadioView() override;

  QString digits() const;  // the digits heard so far, and the last string raised

 private:
  void refresh();

  radio::RadioNode& node_;
  std::unique_ptr<EchoLinkApp> listener_;  // sees the node's events as every window of the program does
  QLabel* carrier_ = nullptr;
  QLabel* ptt_ = nullptr;
  QLabel* digits_ = nullptr;
  QLabel* last_ = nullptr;
  QProgressBar* rx_ = nullptr;
  QProgressBar* tx_ = nullptr;
  QProgressBar* callRx_ = nullptr;
  QProgressBar* callTx_ = nullptr;
  QTimer* timer_ = nullptr;
  QString heard_;
};

}  // namespace qm
