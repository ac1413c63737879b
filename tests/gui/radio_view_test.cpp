// The radio node's live view: the carrier and PTT lamps, the digits as they are decoded and the string they made.
#include <QLabel>
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
