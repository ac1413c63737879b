#include "gui/node_simulator.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDateTime>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScrollArea>
#include <QVBoxLayout>

#include "gui/problem_line.h"
#include "platform/transcript_words.h"
#include "scenario/script.h"
#include "scenario/session_actions.h"
#include "session/session.h"
#include "session/transcript.h"

namespace qm {

namespace {

constexpr int kAirLines = 500;  // the live view keeps this many lines

QPushButton* button(const QString& text, const QString& name, QWidget* parent) {
  auto* b = new QPushButton(text, parent);
  b->setObjectName(name);
  b->setAutoDefault(false);
  return b;
}

}  // namespace

void offerNodeSimulator(QWidget& main, NodeSimulator& simulator) {
  auto* action = new QAction(QStringLiteral("&Node simulator"), &main);
  action->setObjectName(QStringLiteral("showNodeSimulator"));
  action->setShortcut(QKeySequence(QStringLiteral("Ctrl+N")));
  action->setShortcutContext(Qt::ApplicationShortcut);
  QObject::connect(action, &QAction::triggered, &simulator, [&simulator] {
    simulator.showNormal();
    simulator.raise();
    simulator.activateWindow();
  });
  main.addAction(action);
  main.setContextMenuPolicy(Qt::ActionsContextMenu);
}

std::string commandLine(const std::vector<std::string>& words) {
  std::string line;
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (i) line += ' ';
    line += i > 0 ? transcriptWord(words[i]) : words[i];
  }
  return line;
}

NodeSimulator::NodeSimulator(Session& session, QWidget* parent) : QWidget(parent), session_(session) {
  setObjectName(QStringLiteral("NodeSimulator"));
  setWindowTitle(QStringLiteral("Node simulator — %1").arg(QString::fromStdString(session.node.callsign())));
  // The controls sit in a scroll area, so that on a small screen (or at a high scale) the window can be made smaller
  // than its controls and still stay on the screen.
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  scroll_ = new QScrollArea(this);
  scroll_->setObjectName(QStringLiteral("scroll"));
  scroll_->setFrameShape(QFrame::NoFrame);
  scroll_->setWidgetResizable(true);
  outer->addWidget(scroll_);
  content_ = new QWidget(scroll_);
  auto* grid = new QGridLayout(content_);
  grid->addWidget(buildDtmf(), 0, 0, 2, 1);
  grid->addWidget(buildRadio(), 0, 1);
  grid->addWidget(buildSkype(), 1, 1);
  grid->addWidget(buildStation(), 2, 0, 1, 2);
  grid->addWidget(buildTexts(), 3, 0, 1, 2);
  grid->addWidget(buildAir(), 4, 0, 1, 2);
  problem_ = new ProblemLine(this);
  grid->addWidget(problem_, 5, 0, 1, 2);
  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("status"));
  status_->setTextFormat(Qt::PlainText);
  status_->setWordWrap(true);
  grid->addWidget(status_, 6, 0, 1, 2);
  grid->setRowStretch(4, 1);
  scroll_->setWidget(content_);

  session_.transcript.onRecord = [this](const OutputEvent& e) { airEvent(e); };
  refreshState();
  setStatus(QStringLiteral("Ready: the simulated node %1.").arg(QString::fromStdString(session.node.callsign())),
            false);
}

NodeSimulator::~NodeSimulator() {
  session_.transcript.onRecord = nullptr;
}

QWidget* NodeSimulator::buildDtmf() {
  auto* box = new QGroupBox(QStringLiteral("DTMF"), this);
  auto* layout = new QVBoxLayout(box);
  digits_ = new QLineEdit(box);
  digits_->setObjectName(QStringLiteral("digits"));
  digits_->setPlaceholderText(QStringLiteral("keys, then Send"));
  digits_->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9A-Da-d*#]*")), digits_));
  QObject::connect(digits_, &QLineEdit::returnPressed, this, [this] { sendDigits(); });
  layout->addWidget(digits_);
  auto* keys = new QGridLayout;
  const char* rows[4][4] = {{"1", "2", "3", "A"}, {"4", "5", "6", "B"}, {"7", "8", "9", "C"}, {"*", "0", "#", "D"}};
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      QString key = QString::fromLatin1(rows[r][c]);
      auto* b = button(key, QStringLiteral("key") + key, box);
      b->setFixedSize(40, 32);
      QObject::connect(b, &QPushButton::clicked, this, [this, key] { digits_->insert(key); });
      keys->addWidget(b, r, c);
    }
  }
  layout->addLayout(keys);
  auto* row = new QHBoxLayout;
  auto* send = button(QStringLiteral("&Send"), QStringLiteral("sendDigits"), box);
  QObject::connect(send, &QPushButton::clicked, this, [this] { sendDigits(); });
  auto* clear = button(QStringLiteral("Clear"), QStringLiteral("clearDigits"), box);
  QObject::connect(clear, &QPushButton::clicked, this, [this] { digits_->clear(); });
  row->addWidget(send);
  row->addWidget(clear);
  layout->addLayout(row);
  layout->addStretch();
  return box;
}

QWidget* NodeSimulator::buildRadio() {
  auto* box = new QGroupBox(QStringLiteral("Radio and network"), this);
  auto* layout = new QVBoxLayout(box);
  auto toggle = [&](QCheckBox*& slot, const QString& text, const QString& name, const char* command) {
    slot = new QCheckBox(text, box);
    slot->setObjectName(name);
    std::string cmd = command;
    QObject::connect(slot, &QCheckBox::clicked, this, [this, cmd](bool on) { run({cmd, on ? "on" : "off"}); });
    layout->addWidget(slot);
  };
  toggle(carrier_, QStringLiteral("&Carrier (RF received)"), QStringLiteral("carrier"), "carrier");
  toggle(rx_, QStringLiteral("&Network audio (RX)"), QStringLiteral("rx"), "rx");
  toggle(busyA_, QStringLiteral("Busy state &A"), QStringLiteral("busya"), "busya");
  toggle(busyB_, QStringLiteral("Busy state &B"), QStringLiteral("busyb"), "busyb");
  auto* closing = button(QStringLiteral("EchoLink closes (ends Quillmere)"), QStringLiteral("closing"), box);
  QObject::connect(closing, &QPushButton::clicked, this, [this] { run({"closing"}); });
  layout->addWidget(closing);
  return box;
}

QWidget* NodeSimulator::buildSkype() {
  auto* box = new QGroupBox(QStringLiteral("Skype far end"), this);
  auto* layout = new QHBoxLayout(box);
  simulatedSkype_ = new QWidget(box);
  auto* farEnd = new QHBoxLayout(simulatedSkype_);
  farEnd->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(simulatedSkype_);
  struct Action {
    const char* text;
    const char* name;
    const char* word;
  };
  for (const Action& a : {Action{"Ans&wer", "skypeAnswer", "answer"}, Action{"B&usy", "skypeBusy", "busy"},
                          Action{"&Hang up", "skypeHangup", "hangup"}}) {
    auto* b = button(QString::fromLatin1(a.text), QString::fromLatin1(a.name), simulatedSkype_);
    std::string word = a.word;
    QObject::connect(b, &QPushButton::clicked, this, [this, word] { run({"skype", word}); });
    farEnd->addWidget(b);
  }
  // With --skype sip the far end is real; its settings window has no button on the main window. The button is
  // there only while such a window is.
  auto* sip = button(QStringLiteral("&SIP settings"), QStringLiteral("sipSettings"), box);
  QObject::connect(sip, &QPushButton::clicked, this, [this] { run({"show", "SipSettings"}); });
  layout->addWidget(sip);
  sipSettings_ = sip;
  return box;
}

QWidget* NodeSimulator::buildStation() {
  auto* box = new QGroupBox(QStringLiteral("Station"), this);
  auto* layout = new QHBoxLayout(box);
  auto field = [&](const QString& label, const QString& name, const QString& value, const QString& widest) {
    auto* l = new QLabel(label, box);
    auto* e = new QLineEdit(value, box);
    e->setObjectName(name);
    e->setMinimumWidth(e->fontMetrics().horizontalAdvance(widest) + 12);
    l->setBuddy(e);
    layout->addWidget(l);
    layout->addWidget(e, 1);
    return e;
  };
  call_ = field(QStringLiteral("Ca&llsign"), QStringLiteral("stationCall"), QStringLiteral("W1AW"),
                QStringLiteral("W1AW-R"));
  name_ =
      field(QStringLiteral("Na&me"), QStringLiteral("stationName"), QStringLiteral("Hiram"), QStringLiteral("Hiram"));
  address_ = field(QStringLiteral("Addr&ess"), QStringLiteral("stationAddress"), QStringLiteral("192.0.2.10"),
                   QStringLiteral("192.0.2.100"));
  auto* connect = button(QStringLiteral("C&onnect"), QStringLiteral("connect"), box);
  QObject::connect(connect, &QPushButton::clicked, this, [this] {
    run({"connect", call_->text().toStdString(), name_->text().toStdString(), address_->text().toStdString()});
  });
  auto* disconnect = button(QStringLiteral("&Disconnect"), QStringLiteral("disconnect"), box);
  QObject::connect(disconnect, &QPushButton::clicked, this, [this] {
    run({"disconnect", call_->text().toStdString()});
  });
  layout->addWidget(connect);
  layout->addWidget(disconnect);
  return box;
}

QWidget* NodeSimulator::buildTexts() {
  auto* box = new QGroupBox(QStringLiteral("Text from EchoLink"), this);
  auto* layout = new QHBoxLayout(box);
  text_ = new QLineEdit(box);
  text_->setObjectName(QStringLiteral("text"));
  text_->setPlaceholderText(QStringLiteral("a chat line, or the talking station's text"));
  auto* chat = button(QStringLiteral("C&hat"), QStringLiteral("chat"), box);
  QObject::connect(chat, &QPushButton::clicked, this, [this] { run({"chat", text_->text().toStdString()}); });
  auto* station = button(QStringLiteral("Station &text"), QStringLiteral("stationText"), box);
  QObject::connect(station, &QPushButton::clicked, this, [this] { run({"stationtext", text_->text().toStdString()}); });
  layout->addWidget(text_, 1);
  layout->addWidget(chat);
  layout->addWidget(station);
  return box;
}

QWidget* NodeSimulator::buildAir() {
  auto* box = new QGroupBox(QStringLiteral("On the air"), this);
  auto* layout = new QVBoxLayout(box);
  ptt_ = new QLabel(box);
  ptt_->setObjectName(QStringLiteral("ptt"));
  ptt_->setAlignment(Qt::AlignCenter);
  ptt_->setAutoFillBackground(true);
  ptt_->setMargin(4);
  layout->addWidget(ptt_);
  air_ = new QPlainTextEdit(box);
  air_->setObjectName(QStringLiteral("air"));
  air_->setReadOnly(true);
  air_->setMaximumBlockCount(kAirLines);
  air_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  air_->setMinimumHeight(140);
  layout->addWidget(air_);
  return box;
}

void NodeSimulator::sendDigits() {
  QString digits = digits_->text().toUpper();
  if (digits.isEmpty()) {
    setStatus(QStringLiteral("Key some digits first."), true);
    return;
  }
  digits_->clear();
  run({"dtmf", digits.toStdString()});
}

void NodeSimulator::run(const std::vector<std::string>& words) {
  std::string line = commandLine(words);
  session_.transcript.input(line);
  try {
    if (runAction(session_, words))
      setStatus(QString::fromStdString(line), false);
    else
      setStatus(QStringLiteral("%1: not available in this build").arg(QString::fromStdString(line)), true);
  } catch (const ScriptError& e) {
    setStatus(QStringLiteral("%1: %2").arg(QString::fromStdString(line), QString::fromStdString(e.what())), true);
  } catch (const std::exception& e) {
    setStatus(QStringLiteral("%1 failed: %2").arg(QString::fromStdString(line), QString::fromStdString(e.what())),
              true);
  }
  refreshState();
}

QSize NodeSimulator::preferredSize() const {
  return content_->sizeHint() + QSize(2, 2);
}

QSize NodeSimulator::comfortableMinimum() const {
  return content_->minimumSizeHint() + QSize(2, 2);
}

QString NodeSimulator::status() const {
  return status_->text();
}

void NodeSimulator::closeEvent(QCloseEvent* event) {
  // The simulated node stays in use as long as the program runs: closing only hides the window, and Ctrl+N (or the
  // main window's context menu) brings it back.
  event->ignore();
  hide();
}

void NodeSimulator::airEvent(const OutputEvent& event) {
  QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss"));
  air_->appendPlainText(stamp + QLatin1Char(' ') + QString::fromStdString(Transcript::format(event)));
  if (event.kind == "ptt") refreshState();
}

void NodeSimulator::showProblem(const QString& problem) {
  problem_->add(problem);
}

QString NodeSimulator::problems() const {
  return problem_->all();
}

void NodeSimulator::refreshState() {
  const InjectableNode& node = session_.node;
  bool sip = false;
  if (session_.started())
    for (const std::string& name : session_.program().registry().windowNames()) sip = sip || name == "SipSettings";
  sipSettings_->setVisible(sip);
  simulatedSkype_->setVisible(session_.simulatedSkype);
  carrier_->setChecked(node.carrier());
  rx_->setChecked(node.rx());
  busyA_->setChecked(node.busyA());
  busyB_->setChecked(node.busyB());
  bool on = node.pttState();
  ptt_->setText(on ? QStringLiteral("TRANSMITTING (PTT on)") : QStringLiteral("Receiving (PTT off)"));
  QPalette p = ptt_->palette();
  p.setColor(QPalette::Window, on ? QColor(220, 40, 40) : palette().color(QPalette::Window));
  p.setColor(QPalette::WindowText, on ? QColor(Qt::white) : palette().color(QPalette::WindowText));
  ptt_->setPalette(p);
}

void NodeSimulator::setStatus(const QString& text, bool error) {
  status_->setText(text);
  QPalette p = status_->palette();
  p.setColor(QPalette::WindowText, error ? QColor(170, 0, 0) : palette().color(QPalette::WindowText));
  status_->setPalette(p);
}

}  // namespace qm
