#include "meter/deviceselector.h"
#include "meter/frame.h"
#include "meter/functionentry.h"
#include "meter/simlink.h"
#include "meter/virtualmeter.h"

#include <QtTest>

namespace {

const QByteArray kPoll = QByteArray::fromHex("abcd035e01d9");
const QByteArray kSelect = QByteArray::fromHex("abcd034c01c7");

// Collects what the selector delivers and cuts it into frames.
class Collector
{
public:
    explicit Collector(DeviceSelector &selector)
    {
        QObject::connect(&selector, &DeviceSelector::readyRead,
                         [this](const uint8_t *data, int len) {
                             m_bytes.append(reinterpret_cast<const char *>(data), len);
                             ++m_chunks;
                         });
    }

    QList<QByteArray> frames() const
    {
        QList<QByteArray> found;
        int offset = 0;
        for (QByteArray next = frame::extract(m_bytes, offset); !next.isEmpty();
             next = frame::extract(m_bytes, offset))
            found.append(next);
        return found;
    }
    int chunks() const { return m_chunks; }

private:
    QByteArray m_bytes;
    int m_chunks = 0;
};

void send(DeviceSelector &selector, const QByteArray &frameBytes)
{
    selector.write(reinterpret_cast<const uchar *>(frameBytes.constData()), frameBytes.size());
}

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
    void unplugEmitsClosedOnce();
    void closeEmitsClosedOnceAndNothingAfter();
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
    DeviceSelector selector;
    selector.setDevice(QStringLiteral("sim"));
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
    DeviceSelector selector;
    selector.setDevice(QStringLiteral("sim"));
    Collector collector(selector);
    QVERIFY(selector.open());
    meterOf(selector)->setTimeScale(0.2);
    for (int i = 1; i <= 5; ++i) {
        send(selector, kPoll);
        QTRY_COMPARE(collector.frames().size(), i);
    }
    for (const QByteArray &reply : collector.frames()) {
        QCOMPARE(reply.size(), 19);
        QVERIFY2(findEntry(m_table, quint8(reply.at(3)), quint8(reply.at(4))),
                 reply.toHex(' ').constData());
    }
    QVERIFY(collector.chunks() >= 5);
}

void TestSimLink::keyIsAcknowledgedAndActs()
{
    DeviceSelector selector;
    selector.setDevice(QStringLiteral("sim"));
    Collector collector(selector);
    QVERIFY(selector.open());
    meterOf(selector)->setTimeScale(0);
    send(selector, kSelect);
    send(selector, kPoll);
    QTRY_COMPARE(collector.frames().size(), 2);
    QCOMPARE(quint8(collector.frames().at(0).at(3)), VirtualMeter::kAckCode);
    QCOMPARE(quint8(collector.frames().at(1).at(3)), quint8(3)); // DCV became DCmV
}

void TestSimLink::unplugEmitsClosedOnce()
{
    DeviceSelector selector;
    selector.setDevice(QStringLiteral("sim"));
    QSignalSpy opened(&selector, &DeviceSelector::opened);
    QSignalSpy closed(&selector, &DeviceSelector::closed);
    QVERIFY(selector.open());
    meterOf(selector)->unplug();
    QCOMPARE(closed.size(), 1);
    QVERIFY(!selector.isActived());
    selector.close();
    QTest::qWait(20);
    QCOMPARE(closed.size(), 1);

    QVERIFY(selector.open()); // a fresh virtual meter on the next connect
    QCOMPARE(opened.size(), 2);
    QVERIFY(selector.isActived());
}

void TestSimLink::closeEmitsClosedOnceAndNothingAfter()
{
    DeviceSelector selector;
    selector.setDevice(QStringLiteral("sim"));
    Collector collector(selector);
    QSignalSpy closed(&selector, &DeviceSelector::closed);
    selector.close(); // never opened
    QCOMPARE(closed.size(), 0);
    QVERIFY(selector.open());
    send(selector, kPoll); // its answer would come some 35 ms later
    selector.close();
    QCOMPARE(closed.size(), 1);
    QVERIFY(!selector.isActived());
    selector.close();
    send(selector, kPoll);
    QTest::qWait(100);
    QCOMPARE(closed.size(), 1);
    QCOMPARE(collector.chunks(), 0);
}

void TestSimLink::sharedMeterKeepsStateAcrossReconnect()
{
    VirtualMeter meter(21);
    meter.setTimeScale(0);
    DeviceSelector selector;
    selector.setLinkFactory(
        [&meter](const QString &, const LinkSettings &, QString *) { return new SimLink(&meter); });
    Collector collector(selector);
    QVERIFY(selector.open());
    send(selector, kSelect);
    QTRY_COMPARE(collector.frames().size(), 1);
    send(selector, kPoll);
    selector.close(); // the answer on its way is lost with the connection

    QVERIFY(selector.open());
    send(selector, kPoll);
    QTRY_COMPARE(collector.frames().size(), 2);
    QTest::qWait(20);
    QCOMPARE(collector.frames().size(), 2);
    QCOMPARE(quint8(collector.frames().at(1).at(3)), quint8(3));
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
