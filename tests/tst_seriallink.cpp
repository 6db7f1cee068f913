#include "tests/selectorprobe.h"
#include "tests/simulatorprocess.h"

#include <QtTest>

// The serial link against the simulator program on a pseudo-terminal.
class TestSerialLink : public QObject
{
    Q_OBJECT
private slots:
    void repliesArriveAcrossReconnects();
    void simulatorExitClosesLinkOnce();
    void badPortSaysSo();
};

void TestSerialLink::repliesArriveAcrossReconnects()
{
    SimulatorProcess simulator;
    QVERIFY(simulator.start());
    SelectorProbe probe(simulator.device());
    QSignalSpy opened(&probe.selector, &DeviceSelector::opened);
    QSignalSpy closed(&probe.selector, &DeviceSelector::closed);
    for (int connection = 1; connection <= 2; ++connection) {
        QVERIFY2(probe.selector.open(), qPrintable(probe.selector.errorString()));
        for (int i = 1; i <= 2; ++i) {
            probe.write(QByteArray::fromHex("abcd035e01d9"));
            QTRY_COMPARE(probe.frames().size(), 2 * connection + i - 2);
            QCOMPARE(probe.frames().last().at(2), '\x10'); // a reading, not an acknowledgement
        }
        probe.selector.close();
        QCOMPARE(closed.size(), connection);
    }
    QCOMPARE(opened.size(), 2);
}

void TestSerialLink::simulatorExitClosesLinkOnce()
{
    SimulatorProcess simulator;
    QVERIFY(simulator.start());
    SelectorProbe probe(simulator.device());
    QSignalSpy closed(&probe.selector, &DeviceSelector::closed);
    QVERIFY(probe.selector.open());
    simulator.process().terminate();
    QVERIFY(simulator.process().waitForFinished(5000));
    QCOMPARE(simulator.process().exitCode(), 0);
    QTRY_COMPARE(closed.size(), 1);
    QVERIFY(!probe.selector.isActived());
    QTest::qWait(100); // a hung-up line must not report its end again
    probe.selector.close();
    QCOMPARE(closed.size(), 1);
}

void TestSerialLink::badPortSaysSo()
{
    DeviceSelector selector;
    selector.setDevice(QStringLiteral("serial:/dev/klm704-no-such-port"));
    QVERIFY(!selector.open());
    QVERIFY(selector.errorString().contains(QStringLiteral("/dev/klm704-no-such-port")));
    QVERIFY(selector.errorString().contains(QStringLiteral("not found")));
    selector.setDevice(QStringLiteral("serial:"));
    QVERIFY(!selector.open());
    QVERIFY(selector.errorString().startsWith(QStringLiteral("Unknown device")));
}

QTEST_GUILESS_MAIN(TestSerialLink)
#include "tst_seriallink.moc"
