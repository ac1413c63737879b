// The radio node's live view: the carrier and PTT lamps, the digits as they are decoded and the string they made,
// the connected stations, the problem line and the settings windows it offers.
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "gui/radio_view.h"
#include "platform/output_log.h"
#include "platform/virtual_scheduler.h"
#include "radio/radio_node.h"

using namespace qm;

class RadioViewTest : public QObject {
  Q_OBJECT

 private slots:
  void showsTheCarrierTheDigitsAndTheirString() {
    VirtualScheduler scheduler(Scheduler::TimePoint{});
    NullOutputLog log;
    radio::RadioNode node(scheduler, log, radio::RadioSettings{});  // never started: no JACK, no lines
    RadioView view(node);
    auto lamp = [&](const char* name) { return view.findChild<QLabel*>(QString::fromLatin1(name))->text(); };
    QCOMPARE(lamp("carrier"), QStringLiteral("no carrier"));
    node.setCarrier(true);  // as the squelch line raises it
    QTRY_COMPARE(lamp("carrier"), QStringLiteral("CARRIER"));
    QCOMPARE(lamp("ptt"), QStringLiteral("Receiving (PTT off)"));

    node.onDigit('1');  // the decoder's digits, as they come
    node.onDigit('2');
    QCOMPARE(view.digits(), QStringLiteral("12|"));
    node.dtmf("12");  // the string raised when the carrier drops
    QCOMPARE(view.digits(), QStringLiteral("|12"));
  }

  void listsTheStationsShowsProblemsAndOffersOnlyTheWindowsThatExist() {
    VirtualScheduler scheduler(Scheduler::TimePoint{});
    NullOutputLog log;
    radio::RadioNode node(scheduler, log, radio::RadioSettings{});
    RadioView view(node);
    node.connect("W1AW", "Hiram", "127.0.0.2");  // as the network raises them
    node.connect("K1ABC-L", "Link", "127.0.0.3");
    node.disconnect("W1AW");
    QCOMPARE(view.stations(), QStringList{QStringLiteral("K1ABC-L  Link  127.0.0.3")});
    QCOMPARE(view.findChild<QLabel*>(QStringLiteral("network"))->text(), QStringLiteral("off"));
    QVERIFY(view.problem().isEmpty());
    view.showProblem(QStringLiteral("the JACK server did not start"));
    QCOMPARE(view.problem(), QStringLiteral("the JACK server did not start"));

    std::string shown;
    view.offerWindows([](const std::string& name) { return name == "RadioSettings"; },
                      [&shown](const std::string& name) { shown = name; });
    view.show();
    QList<QPushButton*> buttons = view.findChildren<QPushButton*>();
    QCOMPARE(buttons.size(), 2);
    QVERIFY(buttons[0]->isVisible());
    QVERIFY(!buttons[1]->isVisible());  // no EchoLinkSettings window: the network is off
    buttons[0]->click();
    QCOMPARE(shown, std::string("RadioSettings"));
  }

  void forgetsTheNodeWhenItCloses() {
    VirtualScheduler scheduler(Scheduler::TimePoint{});
    NullOutputLog log;
    radio::RadioNode node(scheduler, log, radio::RadioSettings{});
    { RadioView view(node); }
    QVERIFY(!node.onDigit);  // no digit reaches a view that has gone
  }
};

QTEST_MAIN(RadioViewTest)
#include "radio_view_test.moc"
