#include "meter/deviceselector.h"
#include "meter/simlink.h"
#include "meter/virtualmeter.h"
#include "tests/selectorprobe.h"

#include <QtTest>

namespace {

const QByteArray kPoll = QByteArray::fromHex("abcd035e01d9");
const QByteArray kSelect = QByteArray::fromHex("abcd034c01c7");

VirtualMeter *meterOf(const DeviceSelector &selector)
{
    return static_cast<SimLink *>(selector.link())->meter();
}

} // namespace

class TestSimLink : public QObject
{
    Q_OBJECT
private slots:
    void openedAndClosedOnceByOpenAndUnplugOrClose()
    {
        SelectorProbe probe(QStringLiteral("sim"));
        DeviceSelector &selector = probe.selector;
        QList<bool> activeWhenOpened;
        connect(&selector, &DeviceSelector::opened, this,
                [&] { activeWhenOpened.append(selector.isActived()); });
        QSignalSpy closed(&selector, &DeviceSelector::closed);
        selector.close(); // never opened
        QVERIFY(selector.open());
        QVERIFY(!selector.open()); // already open: no second link, no second opened
        QCOMPARE(activeWhenOpened, QList<bool>{true});
        meterOf(selector)->unplug();
        selector.close();
        QCOMPARE(closed.size(), 1);
        QVERIFY(!selector.isActived());
        // A fresh meter on the next connect; an answer on its way when the link closes is lost.
        QVERIFY(selector.open());
        probe.write(kPoll);
        selector.close();
        selector.close();
        probe.write(kPoll);
        QTest::qWait(100);
        QCOMPARE(closed.size(), 2);
        QCOMPARE(probe.chunks, 0);
    }

    void sharedMeterKeepsStateAcrossReconnect()
    {
        VirtualMeter meter(21);
        meter.setTimeScale(0);
        SelectorProbe probe(QStringLiteral("sim"));
        probe.selector.setLinkFactory([&meter](const QString &, const LinkSettings &, QString *) {
            return new SimLink(&meter);
        });
        QVERIFY(probe.selector.open());
        probe.write(kSelect);
        QTRY_COMPARE(probe.frames().size(), 1);
        probe.write(kPoll);
        probe.selector.close(); // the answer on its way is lost with the connection
        QVERIFY(probe.selector.open());
        probe.write(kPoll);
        QTRY_COMPARE(probe.frames().size(), 2);
        QCOMPARE(quint8(probe.frames().at(1).at(3)), quint8(3)); // DCV became DCmV
        QCOMPARE(meter.repliesSent(), 2);
        // Unplugged, the meter cannot be opened.
        meter.unplug();
        SimLink link(&meter);
        QVERIFY(!link.open() && !link.isOpen());
        QVERIFY(link.errorString().contains(QStringLiteral("unplugged")));
        meter.plugIn();
        QVERIFY(link.open());
    }
};

QTEST_GUILESS_MAIN(TestSimLink)
#include "tst_simlink.moc"
