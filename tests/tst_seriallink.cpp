#include "meter/functionentry.h"
#include "tests/selectorprobe.h"
#include "tests/simulatorprocess.h"

#include <QProcess>
#include <QtTest>
#include <memory>

namespace {

const QByteArray kPoll = QByteArray::fromHex("abcd035e01d9");

} // namespace

class TestSerialLink : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void repliesArriveThroughPseudoTerminal();
    void reconnectingFindsTheLineAsItWas();
    void simulatorExitClosesLinkOnce();
    void badPortSaysSo();

private:
    std::unique_ptr<SimulatorProcess> m_simulator;
    std::unique_ptr<SelectorProbe> m_probe; // a selector on the simulator's line
};

void TestSerialLink::init()
{
    m_simulator = std::make_unique<SimulatorProcess>();
    QVERIFY(m_simulator->start());
    m_probe = std::make_unique<SelectorProbe>(m_simulator->device());
}

void TestSerialLink::cleanup()
{
    m_probe.reset();
    m_simulator.reset();
}

void TestSerialLink::repliesArriveThroughPseudoTerminal()
{
    SelectorProbe &probe = *m_probe;
    DeviceSelector &selector = probe.selector;
    QSignalSpy opened(&selector, &DeviceSelector::opened);
    QVERIFY2(selector.open(), qPrintable(selector.errorString()));
    QCOMPARE(opened.size(), 1);

    FunctionTable table, eTable;
    buildTables(table, eTable);
    for (int i = 1; i <= 3; ++i) {
        probe.write(kPoll);
        QTRY_COMPARE(probe.frames().size(), i);
        const QByteArray reply = probe.frames().last();
        QVERIFY(findEntry(table, quint8(reply.at(3)), quint8(reply.at(4))));
    }
    qDeleteAll(table);
    qDeleteAll(eTable);
}

void TestSerialLink::reconnectingFindsTheLineAsItWas()
{
    SelectorProbe &probe = *m_probe;
    DeviceSelector &selector = probe.selector;
    QSignalSpy closed(&selector, &DeviceSelector::closed);
    QVERIFY(selector.open());
    probe.write(kPoll);
    QTRY_COMPARE(probe.frames().size(), 1);
    selector.close();
    QCOMPARE(closed.size(), 1);

    QVERIFY(selector.open());
    probe.write(kPoll);
    QTRY_COMPARE(probe.frames().size(), 2);
    QCOMPARE(closed.size(), 1);
}

void TestSerialLink::simulatorExitClosesLinkOnce()
{
    SelectorProbe &probe = *m_probe;
    DeviceSelector &selector = probe.selector;
    QSignalSpy closed(&selector, &DeviceSelector::closed);
    QVERIFY(selector.open());

    m_simulator->process().terminate();
    QVERIFY(m_simulator->process().waitForFinished(5000));
    QCOMPARE(m_simulator->process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_simulator->process().exitCode(), 0);

    QTRY_COMPARE(closed.size(), 1);
    QVERIFY(!selector.isActived());
    QTest::qWait(100); // a hung-up line must not report its end again
    selector.close();
    QCOMPARE(closed.size(), 1);
}

void TestSerialLink::badPortSaysSo()
{
    DeviceSelector selector;
    QSignalSpy opened(&selector, &DeviceSelector::opened);
    selector.setDevice(QStringLiteral("serial:/dev/klm704-no-such-port"));
    QVERIFY(!selector.open());
    QVERIFY(!selector.isActived());
    QVERIFY(selector.errorString().contains(QStringLiteral("/dev/klm704-no-such-port")));
    QVERIFY(selector.errorString().contains(QStringLiteral("not found")));
    selector.setDevice(QStringLiteral("serial:"));
    QVERIFY(!selector.open());
    QVERIFY(selector.errorString().startsWith(QStringLiteral("Unknown device")));
    QCOMPARE(opened.size(), 0);
}

QTEST_GUILESS_MAIN(TestSerialLink)
#include "tst_seriallink.moc"
