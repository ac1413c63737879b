#include "gui/radio_view.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "echolink/echolink_app.h"
#include "gui/problem_line.h"
#include "radio/radio_node.h"

namespace qm {

namespace {

// A lamp: a label whose background shows the state.
void setLamp(QLabel* lamp, bool on, const QString& onText, const QString& offText, QColor onColour) {
  lamp->setText(on ? onText : offText);
  lamp->setAutoFillBackground(true);
  QPalette p = lamp->palette();
  p.setColor(QPalette::Window, on ? onColour : lamp->parentWidget()->palette().color(QPalette::Window));
  p.setColor(QPalette::WindowText,
             on ? QColor(Qt::white) : lamp->parentWidget()->palette().color(QPalette::WindowText));
  lamp->setPalette(p);
}

QProgressBar* levelBar() {
  auto* bar = new QProgressBar;
  bar->setRange(-60, 0);
  bar->setFormat(QStringLiteral("%v dBFS"));
  return bar;
}

void showLevel(QProgressBar* bar, double dbfs) {
  bar->setValue(static_cast<int>(std::lround(std::clamp(dbfs, -60.0, 0.0))));
}

}  // namespace

RadioView::RadioView(radio::RadioNode& node, QWidget* parent) : QWidget(parent), node_(node) {
  setWindowTitle(QStringLiteral("Radio node — %1").arg(QString::fromStdString(node.callsign())));
  auto* form = new QFormLayout(this);
  carrier_ = new QLabel;
  ptt_ = new QLabel;
  digits_ = new QLabel;
  last_ = new QLabel;
  digits_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  carrier_->setObjectName(QStringLiteral("carrier"));
  ptt_->setObjectName(QStringLiteral("ptt"));
  rx_ = levelBar();
  tx_ = levelBar();
  callRx_ = levelBar();
  callTx_ = levelBar();
  form->addRow(QStringLiteral("Carrier"), carrier_);
  form->addRow(QStringLiteral("Transmitter"), ptt_);
  form->addRow(QStringLiteral("DTMF heard"), digits_);
  form->addRow(QStringLiteral("Last DTMF string"), last_);
  form->addRow(QStringLiteral("Receive level"), rx_);
  form->addRow(QStringLiteral("Transmit level"), tx_);
  form->addRow(QStringLiteral("Call: far end"), callRx_);
  form->addRow(QStringLiteral("Call: sent to it"), callTx_);
  network_ = new QLabel;
  network_->setObjectName(QStringLiteral("network"));
  form->addRow(QStringLiteral("EchoLink"), network_);
  stations_ = new QListWidget;
  stations_->setObjectName(QStringLiteral("stations"));
  stations_->setMaximumHeight(fontMetrics().height() * 5);
  form->addRow(QStringLiteral("Stations"), stations_);
  problem_ = new ProblemLine;
  form->addRow(problem_);
  auto* buttons = new QHBoxLayout;
  radioSettings_ = new QPushButton(QStringLiteral("&Radio settings"));
  echoLinkSettings_ = new QPushButton(QStringLiteral("&EchoLink settings"));
  radioSettings_->setVisible(false);
  echoLinkSettings_->setVisible(false);
  buttons->addWidget(radioSettings_);
  buttons->addWidget(echoLinkSettings_);
  buttons->addStretch();
  form->addRow(buttons);

  node_.onDigit = [this](char d) {
    heard_ += QLatin1Char(d);
    digits_->setText(heard_);
  };
  listener_ = node_.createApp();
  listener_->events.DTMFString = [this](const std::string& s) {
    last_->setText(QString::fromStdString(s));
    heard_.clear();
    digits_->setText(heard_);
  };
  listener_->events.connected = [this](const std::string& call, const std::string& name, const std::string& addr) {
    stations_->addItem(QStringLiteral("%1  %2  %3").arg(QString::fromStdString(call), QString::fromStdString(name),
                                                       QString::fromStdString(addr)));
  };
  listener_->events.Disconnected = [this](const std::string& call) {
    const QString prefix = QString::fromStdString(call) + QStringLiteral("  ");
    for (int i = stations_->count() - 1; i >= 0; --i)
      if (stations_->item(i)->text().startsWith(prefix)) delete stations_->takeItem(i);
  };
  timer_ = new QTimer(this);
  connect(timer_, &QTimer::timeout, this, &RadioView::refresh);
  timer_->start(100);  // levels a person can follow; idle costs ten wake-ups a second
  refresh();
}

RadioView::~RadioView() {
  node_.onDigit = nullptr;
}

QString RadioView::digits() const {
  return heard_ + QLatin1Char('|') + last_->text();
}

QStringList RadioView::stations() const {
  QStringList list;
  for (int i = 0; i < stations_->count(); ++i) list << stations_->item(i)->text();
  return list;
}

void RadioView::showProblem(const QString& problem) {
  problem_->add(problem);
}

QString RadioView::problem() const {
  return problem_->latest();
}

void RadioView::offerWindows(std::function<bool(const std::string&)> exists,
                             std::function<void(const std::string&)> show) {
  // The program makes its windows when it is created, before any view: which exist is known from now on.
  radioSettings_->setVisible(exists("RadioSettings"));
  echoLinkSettings_->setVisible(exists("EchoLinkSettings"));
  connect(radioSettings_, &QPushButton::clicked, this, [show] { show("RadioSettings"); });
  connect(echoLinkSettings_, &QPushButton::clicked, this, [show] { show("EchoLinkSettings"); });
}

void RadioView::refresh() {
  setLamp(carrier_, node_.carrier(), QStringLiteral("CARRIER"), QStringLiteral("no carrier"), QColor(0, 140, 60));
  setLamp(ptt_, node_.lineKeyed(), QStringLiteral("TRANSMITTING (PTT on)"), QStringLiteral("Receiving (PTT off)"),
          QColor(220, 40, 40));
  showLevel(rx_, node_.receiveLevelDbfs());
  showLevel(tx_, node_.lineKeyed() ? node_.transmitLevelDbfs() : -120);
  showLevel(callRx_, node_.callReceiveLevelDbfs());
  showLevel(callTx_, node_.callTransmitLevelDbfs());
  const std::string& network = node_.networkStatus();
  network_->setText(network.empty() ? QStringLiteral("off") : QString::fromStdString(network));
}

}  // namespace qm
