#include "fakelink.h"
#include "meter/deviceselector.h"
#include "meter/dmmdata.h"
#include "meter/loopcommandpool.h"
#include "meter/mydmm.h"
#include "meter/oncecommandpool.h"
#include "replyframe.h"
#include "selectorprobe.h"

#include <QPointer>
#include <QtTest>
#include <memory>

namespace {

QByteArray reading(const char *display)
{
    return replyFrame(2, 0x31, display);
}

// A driver on a device selector whose links are fakes, collecting the readings it emits.
struct Rig
{
    Rig()
    {
        selector.setLinkFactory([this](const QString &, const LinkSettings &, QString *) {
            return new FakeLink(script);
        });
        dmm.setThreadTiming({60000, 3, 5, 3000});
        QObject::connect(&dmm, &Dmm::display, [this](const DmmData *data) {
            values << data->valueText();
            delete data;
        });
    }

    FakeLink *link() const { return static_cast<FakeLink *>(selector.link()); }
    void feed(const QByteArray &bytes)
    {
        dmm.slotSerialDeviceRead(reinterpret_cast<const uint8_t *>(bytes.constData()),
                                 bytes.size());
    }
    int written() const { return link()->written().size(); }
    int writtenPolls() const { return link()->written().count(FakeLink::pollFrame()); }
    QList<bool> running() const { return {dmm.isOpen(), dmm.commandThread() != nullptr}; }

    FakeScript script;
    DeviceSelector selector;
    MyDmm dmm{&selector};
    QStringList values; // of the readings emitted
};

const QList<bool> kStopped{false, false}, kRunning{true, true};

} // namespace

class TestMyDmm : public QObject
{
    Q_OBJECT
private slots:
    void openAndCloseFollowTheLink()
    {
        Rig rig;
        rig.script.openSucceeds = false; // leaves the driver closed and a queued key alone
        rig.dmm.sendHold();
        QVERIFY(!rig.dmm.open());
        QCOMPARE(rig.dmm.oncePool()->commands().size(), 1);
        rig.script.openSucceeds = true; // a key of an earlier connection is dropped by the next
        QVERIFY(rig.dmm.open() && !rig.dmm.open());
        QCOMPARE(rig.written(), 1); // the first poll goes out at once, not from the event loop
        QCOMPARE(rig.running(), kRunning);
        QVERIFY(rig.dmm.oncePool()->isEmpty());
        rig.dmm.close();
        QCOMPARE(rig.running(), kStopped);
    }

    void receivedBytesBecomeReadings_data()
    {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<QStringList>("values");
        const QByteArray whole = QByteArray("junk") + reading("  4.321");
        for (int cut = 1; cut < whole.size(); ++cut)
            QTest::addRow("split at %d", cut)
                << QList{whole.left(cut), whole.mid(cut)} << QStringList{"  4.321"};
        // A bad frame holds back nothing behind it, in its chunk or the next.
        QByteArray badSum = reading("  9.999");
        badSum[badSum.size() - 1] = char(badSum.back() + 1);
        QTest::newRow("garbage, bad checksum, frames")
            << QList{QByteArray::fromHex("00ABFFCDAB") + badSum + reading("  1.000") +
                         reading("  2.000") + reading("  3.000").left(9),
                     reading("  3.000").mid(9)}
            << QStringList{"  1.000", "  2.000", "  3.000"};
    }

    void receivedBytesBecomeReadings()
    {
        QFETCH(QList<QByteArray>, chunks);
        Rig rig;
        rig.dmm.setSampleRate(0);
        for (const QByteArray &chunk : chunks)
            rig.feed(chunk);
        QTEST(rig.values, "values");
        QCOMPARE(rig.dmm.lastFrame(), framesIn(chunks.join()).last());
    }

    void acknowledgementReleasesKeyAndIsNoReading()
    {
        Rig rig;
        rig.script.acknowledgeKeys = false;
        rig.dmm.setSampleRate(0);
        QVERIFY(rig.dmm.open());
        QTRY_COMPARE(rig.written(), 1); // the first poll, never answered
        rig.dmm.sendHold();
        rig.link()->inject(reading("  1.000")); // answers the poll
        QTRY_COMPARE(rig.link()->written().last(), QByteArray::fromHex("ABCD034A01C5"));
        rig.link()->inject(reading("  2.000")); // does not answer a key command
        QTest::qWait(100);
        QCOMPARE(rig.written(), 2);
        rig.link()->inject(FakeLink::acknowledgement());
        QTRY_COMPARE(rig.written(), 3);
        QVERIFY(rig.dmm.oncePool()->isEmpty());
        QCOMPARE(rig.link()->written().last(), FakeLink::pollFrame());
    }

    // With a rate, the first reply is a reading at once and the next only after the rate.
    void sampleRateLimitsReadings()
    {
        Rig rig;
        rig.dmm.setSampleRate(100000); // set while closed, the rate waits for the open
        QVERIFY(rig.dmm.open());
        rig.feed(reading("  1.000") + FakeLink::acknowledgement() + reading("  1.100"));
        QCOMPARE(rig.values, QStringList{"  1.000"});
    }

    // Each poll waits a minute unless its reply releases it, due as a reading or not.
    void pollingFollowsTheLinkAndTheDriver()
    {
        auto rig = std::make_unique<Rig>();
        rig->script.pollReply = reading("-12.345");
        rig->dmm.setSampleRate(100000);
        QVERIFY(rig->dmm.open());
        QTRY_VERIFY(rig->writtenPolls() >= 20);
        QCOMPARE(rig->values, QStringList{"-12.345"});
        rig->link()->dropBySelf();
        QVERIFY(!rig->dmm.isOpen());
        QVERIFY(rig->dmm.open());
        QTRY_VERIFY(rig->writtenPolls() >= 2);
        QPointer<CommandPoolThread> thread = rig->dmm.commandThread();
        rig.reset(); // destroying an open driver stops its worker
        QVERIFY(thread.isNull());
    }
};

QTEST_GUILESS_MAIN(TestMyDmm)
#include "tst_mydmm.moc"
