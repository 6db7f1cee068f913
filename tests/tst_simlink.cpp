#include "meter/functionentry.h"
#include "meter/simlink.h"
#include "meter/virtualmeter.h"
#include "tests/selectorprobe.h"

#include <QtTest>

namespace {

const QByteArray kPoll = QByteArray::fromHex("abcd035e01d9");
const QByteArray kSelect = QByteArray::fromHex("abcd034c01c7");

VirtualMeter *meterOf(const DeviceSelector &selector)
{
    auto *link = qobject_cast<SimLink *>(selector.link());
    return link ? link->meter() : nullptr;
}

} // namespace

class TestSimLink : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void openEmitsOpenedWithLinkInPlace();
    void pollsGetRepliesFoundInTable();
    void keyIsAcknowledgedAndActs();
    void closedOnceByUnplugOrClose();
    void sharedMeterKeepsStateAcrossReconnect();
    void unpluggedMeterCannotBeOpened();

private:
    FunctionTable m_table;
};

void TestSimLink::initTestCase()
{
    FunctionTable eTable;
    buildTables(m_table, eTable);
    qDeleteAll(eTable);
}

void TestSimLink::cleanupTestCase()
{
    qDeleteAll(m_table);
}

void TestSimLink::openEmitsOpenedWithLinkInPlace()
{
    SelectorProbe probe(QStringLiteral("sim"));
    DeviceSelector &selector = probe.selector;
    QList<bool> activeWhenOpened;
    connect(&selector, &DeviceSelector::opened, this,
            [&] { activeWhenOpened.append(selector.isActived()); });
    QVERIFY(selector.open());
    QCOMPARE(activeWhenOpened, QList<bool>{true});
    QVERIFY(selector.isActived());
    QVERIFY(!selector.open()); // already open: no second link, no second opened
    QCOMPARE(activeWhenOpened.size(), 1);
}

void TestSimLink::pollsGetRepliesFoundInTable()
{
    SelectorProbe probe(QStringLiteral("sim"));
    DeviceSelector &selector = probe.selector;
    QVERIFY(selector.open());
    meterOf(selector)->setTimeScale(0.2);
    for (int i = 1; i <= 5; ++i) {
        probe.write(kPoll);
        QTRY_COMPARE(probe.frames().size(), i);
    }
    for (const QByteArray &reply : probe.frames()) {
        QCOMPARE(reply.size(), 19);
        QVERIFY2(findEntry(m_table, quint8(reply.at(3)), quint8(reply.at(4))),
                 reply.toHex(' ').constData());
    }
    QVERIFY(probe.chunks >= 5);
}

void TestSimLink::keyIsAcknowledgedAndActs()
{
    SelectorProbe probe(QStringLiteral("sim"));
    DeviceSelector &selector = probe.selector;
    QVERIFY(selector.open());
    meterOf(selector)->setTimeScale(0);
    probe.write(kSelect);
    probe.write(kPoll);
    QTRY_COMPARE(probe.frames().size(), 2);
    QCOMPARE(quint8(probe.frames().at(0).at(3)), VirtualMeter::kAckCode);
    QCOMPARE(quint8(probe.frames().at(1).at(3)), quint8(3)); // DCV became DCmV
}

void TestSimLink::closedOnceByUnplugOrClose()
{
    SelectorProbe probe(QStringLiteral("sim"));
    DeviceSelector &selector = probe.selector;
    QSignalSpy opened(&selector, &DeviceSelector::opened);
    QSignalSpy closed(&selector, &DeviceSelector::closed);
    selector.close(); // never opened
    QCOMPARE(closed.size(), 0);
    QVERIFY(selector.open());
    meterOf(selector)->unplug();
    QCOMPARE(closed.size(), 1);
    QVERIFY(!selector.isActived());
    selector.close();
    QCOMPARE(closed.size(), 1);

    // A fresh virtual meter on the next connect; closed while an answer is on its way (some
    // 35 ms later), nothing arrives after the close.
    QVERIFY(selector.open());
    QCOMPARE(opened.size(), 2);
    probe.write(kPoll);
    selector.close();
    QCOMPARE(closed.size(), 2);
    QVERIFY(!selector.isActived());
    selector.close();
    probe.write(kPoll);
    QTest::qWait(100);
    QCOMPARE(closed.size(), 2);
    QCOMPARE(probe.chunks, 0);
}

void TestSimLink::sharedMeterKeepsStateAcrossReconnect()
{
    VirtualMeter meter(21);
    meter.setTimeScale(0);
    SelectorProbe probe(QStringLiteral("sim"));
    DeviceSelector &selector = probe.selector;
    selector.setLinkFactory(
        [&meter](const QString &, const LinkSettings &, QString *) { return new SimLink(&meter); });
    QVERIFY(selector.open());
    probe.write(kSelect);
    QTRY_COMPARE(probe.frames().size(), 1);
    probe.write(kPoll);
    selector.close(); // the answer on its way is lost with the connection

    QVERIFY(selector.open());
    probe.write(kPoll);
    QTRY_COMPARE(probe.frames().size(), 2);
    QTest::qWait(20);
    QCOMPARE(probe.frames().size(), 2);
    QCOMPARE(quint8(probe.frames().at(1).at(3)), quint8(3));
    QCOMPARE(meter.repliesSent(), 2);
}

void TestSimLink::unpluggedMeterCannotBeOpened()
{
    VirtualMeter meter(4);
    meter.unplug();
    SimLink link(&meter);
    QSignalSpy opened(&link, &SimLink::opened);
    QVERIFY(!link.open());
    QVERIFY(!link.isOpen());
    QVERIFY(link.errorString().contains(QStringLiteral("unplugged")));
    meter.plugIn();
    QVERIFY(link.open());
    QCOMPARE(opened.size(), 1);
}

QTEST_GUILESS_MAIN(TestSimLink)
#include "tst_simlink.moc"
