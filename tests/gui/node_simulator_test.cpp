// The node simulator window: its DTMF keypad sends whole strings to the program, its switches and station fields
// raise EchoLink's events, the Skype far end reports what the session says, and the live view shows the air.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <string>
#include <tuple>
#include <vector>

#include "gui/node_simulator.h"
#include "gui_session.h"

using namespace qm;
using qm::test::GuiSession;

namespace {

// Another EchoLink instance, as a window of the program has one: it sees every event the node raises.
struct Listener {
  explicit Listener(EchoLinkNode& node) : app(node.createApp()) {
    app->events.DTMFString = [this](const std::string& d) { dtmf.push_back(d); };
    app->events.CarrierDetect = [this](bool on) { carrier.push_back(on); };
    app->events.connected = [this](const std::string& c, const std::string& n, const std::string& a) {
      connects.emplace_back(c, n, a);
    };
    app->events.Disconnected = [this](const std::string& c) { disconnects.push_back(c); };
    app->events.ChatTextReceived = [this](const std::string& t) { chats.push_back(t); };
  }
  std::unique_ptr<EchoLinkApp> app;
  std::vector<std::string> dtmf, disconnects, chats;
  std::vector<bool> carrier;
  std::vector<std::tuple<std::string, std::string, std::string>> connects;
};

template <typename W>
W* find(NodeSimulator& sim, const char* name) {
  auto* w = sim.findChild<W*>(QString::fromLatin1(name));
  if (!w) qFatal("no %s in the node simulator", name);
  return w;
}

void press(NodeSimulator& sim, const char* name) {
  QTest::mouseClick(find<QPushButton>(sim, name), Qt::LeftButton);
}

}  // namespace

class NodeSimulatorTest : public QObject {
  Q_OBJECT

 private slots:
  void keyedDigitsReachTheProgramAsOneString() {
    GuiSession g;
    // The main window's own EchoLink instance sees the string; its handler keeps running.
    std::vector<std::string> mainSaw;
    auto previous = g.main().EchoLink->events.DTMFString;
    g.main().EchoLink->events.DTMFString = [&](const std::string& d) {
      mainSaw.push_back(d);
      if (previous) previous(d);
    };
    Listener other(g.session.node);
    NodeSimulator sim(g.session);
    for (const char* key : {"key*", "key#", "key1", "key2", "key3"}) press(sim, key);
    QCOMPARE(find<QLineEdit>(sim, "digits")->text(), QStringLiteral("*#123"));
    QVERIFY(other.dtmf.empty());  // nothing is sent before Send
    press(sim, "sendDigits");
    QCOMPARE(mainSaw, std::vector<std::string>{"*#123"});
    QCOMPARE(other.dtmf, std::vector<std::string>{"*#123"});
    QCOMPARE(find<QLineEdit>(sim, "digits")->text(), QString());
    QCOMPARE(sim.status(), QStringLiteral("dtmf *#123"));

    // Typed digits are sent with Enter, letters as EchoLink reports them (upper case).
    QTest::keyClicks(find<QLineEdit>(sim, "digits"), "dd");
    QTest::keyClick(find<QLineEdit>(sim, "digits"), Qt::Key_Return);
    QCOMPARE(other.dtmf.back(), std::string("DD"));
    // Sending nothing sends nothing.
    press(sim, "sendDigits");
    QCOMPARE(other.dtmf.size(), std::size_t(2));
  }

  void switchesAndStationFieldsRaiseTheNodesEvents() {
    GuiSession g;
    Listener l(g.session.node);
    NodeSimulator sim(g.session);
    find<QCheckBox>(sim, "carrier")->click();
    QVERIFY(g.session.node.carrier());
    find<QCheckBox>(sim, "carrier")->click();
    QCOMPARE(l.carrier, (std::vector<bool>{true, false}));
    find<QCheckBox>(sim, "busya")->click();
    QVERIFY(g.session.node.busyA());
    QVERIFY(!g.session.node.busyB());

    find<QLineEdit>(sim, "stationCall")->setText(QStringLiteral("*ECHOTEST*"));
    find<QLineEdit>(sim, "stationName")->setText(QStringLiteral("Echo test"));
    find<QLineEdit>(sim, "stationAddress")->setText(QStringLiteral("192.0.2.1"));
    press(sim, "connect");
    press(sim, "disconnect");
    QCOMPARE(l.connects.size(), std::size_t(1));
    QCOMPARE(l.connects[0],
             std::make_tuple(std::string("*ECHOTEST*"), std::string("Echo test"), std::string("192.0.2.1")));
    QCOMPARE(l.disconnects, std::vector<std::string>{"*ECHOTEST*"});

    find<QLineEdit>(sim, "text")->setText(QStringLiteral("/ver/"));
    press(sim, "chat");
    QCOMPARE(l.chats, std::vector<std::string>{"/ver/"});
    QCOMPARE(sim.status(), QStringLiteral("chat /ver/"));
  }

  void theAirViewShowsTransmitterAndOutputs() {
    GuiSession g;
    Listener l(g.session.node);
    NodeSimulator sim(g.session);
    auto* ptt = find<QLabel>(sim, "ptt");
    QVERIFY(ptt->text().contains(QStringLiteral("PTT off")));
    l.app->SetPTT(true);
    QVERIFY(ptt->text().contains(QStringLiteral("PTT on")));
    l.app->PlayCW(0, "K");
    l.app->SetPTT(false);
    QVERIFY(ptt->text().contains(QStringLiteral("PTT off")));
    QString air = find<QPlainTextEdit>(sim, "air")->toPlainText();
    QVERIFY(air.contains(QStringLiteral("ptt on")));
    QVERIFY(air.contains(QStringLiteral("cw \"K\"")));
    QVERIFY(air.indexOf(QStringLiteral("ptt on")) < air.indexOf(QStringLiteral("ptt off")));

    // Network audio keys the transmitter as EchoLink does.
    find<QCheckBox>(sim, "rx")->click();
    QVERIFY(ptt->text().contains(QStringLiteral("PTT on")));
  }

  void theSkypeFarEndReportsWhatTheSessionSays() {
    GuiSession g;
    NodeSimulator sim(g.session);
    press(sim, "skypeAnswer");
    // Without a Skype simulation or without a call the session refuses; either way the status line says so.
    QVERIFY(sim.status().startsWith(QStringLiteral("skype answer")));
    QVERIFY(!g.ended());
  }

  void echoLinkClosingEndsTheProgram() {
    GuiSession g;
    NodeSimulator sim(g.session);
    press(sim, "closing");
    QVERIFY(g.ended());
    QCOMPARE(g.session.transcript.pending("exit").size(), std::size_t(1));
  }

  void actionsAreWrittenAsScenarioCommands() {
    QCOMPARE(commandLine({"dtmf", "*#123"}), std::string("dtmf *#123"));
    QCOMPARE(commandLine({"chat", "hello there"}), std::string("chat \"hello there\""));
    QCOMPARE(commandLine({"dtmf", "#1#"}), std::string("dtmf \"#1#\""));
    QCOMPARE(commandLine({"connect", "W1AW", "", "1.2.3.4"}), std::string("connect W1AW \"\" 1.2.3.4"));
  }
};

QTEST_MAIN(NodeSimulatorTest)
#include "node_simulator_test.moc"
