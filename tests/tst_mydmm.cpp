#include "fakelink.h"
#include "gate.h"
#include "logswitch.h"
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
#include <utility>
#include <vector>

namespace {

const QByteArray kHoldFrame = QByteArray::fromHex("ABCD034A01C5");

CommandPoolThread::Timing quickTiming(int replyWaitMs = 60000)
{
    CommandPoolThread::Timing timing;
    timing.replyWaitMs = replyWaitMs;
    timing.restMs = 5;
    return timing;
}

// A driver on a device selector whose links are fakes, collecting the readings it emits.
class Rig
{
public:
    Rig()
    {
        selector.setLinkFactory(
            [this](const QString &, const LinkSettings &, QString *) -> LinkBackend * {
                return new FakeLink(script);
            });
        dmm.setThreadTiming(quickTiming());
        QObject::connect(&dmm, &Dmm::display,
                         [this](const DmmData *data) { readings.emplace_back(data); });
    }

    FakeLink *link() const { return static_cast<FakeLink *>(selector.link()); }
    void feed(const QByteArray &bytes)
    {
        dmm.slotSerialDeviceRead(reinterpret_cast<const uint8_t *>(bytes.constData()),
                                 bytes.size());
    }
    int count() const { return int(readings.size()); }
    QStringList values() const
    {
        QStringList texts;
        for (const auto &data : readings)
            texts << data->valueText();
        return texts;
    }
    int writtenPolls() const { return link()->written().count(FakeLink::pollFrame()); }

    FakeScript script;
    DeviceSelector selector;
    MyDmm dmm{&selector};
    std::vector<std::unique_ptr<const DmmData>> readings;
};

QByteArray reading(const char *display)
{
    return replyFrame(2, 0x31, display);
}

} // namespace

class TestMyDmm : public QObject
{
    Q_OBJECT
private slots:
    void constructionDefaults();
    void openAndCloseFollowTheLink();
    void receivedBytesBecomeReadings_data();
    void receivedBytesBecomeReadings();
    void receiverReenteringTheDriverSeesEachFrameOnce();
    void framesAreWrittenToTheLog();
    void acknowledgementReleasesKeyAndIsNoReading();
    void sampleTimerLimitsReadings();
    void sampleRateChangesTakeEffectAtOnce();
    void modelNameChoosesTable_data();
    void modelNameChoosesTable();
    void pollsAnsweredByTheMeterBecomeReadings();
    void everyReplyReleasesTheThreadWhileSamplingSlowly();
    void linkLostByItselfIsReplacedOnNextOpen();
    void stuckWorkerOutlivesCloseAndGoesLater();
    void commandFromClosedConnectionIsIgnored();
    void destroyingOpenDriverStopsEverything();
    void selectorGoneBeforeDriverIsHarmless();
};

void TestMyDmm::constructionDefaults()
{
    Rig rig;
    MyDmm &dmm = rig.dmm;
    QCOMPARE(dmm.meterModel(), QStringLiteral("VX52C+"));
    QCOMPARE(&dmm.activeTable(), &dmm.defaultTable());
    const QList<CommandPtr> loop = dmm.loopPool()->commands();
    QCOMPARE(loop.size(), 1);
    QCOMPARE(loop.first()->frame(), FakeLink::pollFrame());
    QVERIFY(loop.first()->needsReply());
    QVERIFY(dmm.oncePool()->isEmpty());
    QCOMPARE(dmm.sampleRate(), 1000);
    QCOMPARE(dmm.samplePoints(), 1000);
    QVERIFY(dmm.isInfinite());
    QVERIFY(!dmm.isSkipRepeat());
    QVERIFY(!dmm.isOpen());
}

void TestMyDmm::openAndCloseFollowTheLink()
{
    Rig rig;
    QSignalSpy opened(&rig.dmm, &Dmm::opened);
    QSignalSpy closed(&rig.dmm, &Dmm::closed);
    // A failed open leaves the driver closed and a queued key alone.
    rig.script.openSucceeds = false;
    rig.dmm.sendHold();
    QVERIFY(!rig.dmm.open());
    QVERIFY(!rig.dmm.isOpen() && !rig.dmm.commandThread());
    QCOMPARE(rig.dmm.sampleTimerId(), 0);
    QCOMPARE(rig.dmm.oncePool()->commands().size(), 1);
    QCOMPARE(opened.count(), 0);

    // A key of an earlier connection is dropped by the next open.
    rig.script.openSucceeds = true;
    QVERIFY(rig.dmm.open());
    QVERIFY(rig.dmm.oncePool()->isEmpty());
    QCOMPARE(opened.count(), 1);
    QVERIFY(rig.dmm.isOpen() && rig.dmm.commandThread());
    QVERIFY(rig.dmm.sampleTimerId() != 0);
    QVERIFY(!rig.dmm.open());
    QCOMPARE(opened.count(), 1);
    rig.dmm.close();
    rig.dmm.close();
    QCOMPARE(closed.count(), 1);
    QVERIFY(!rig.dmm.isOpen() && !rig.dmm.commandThread());
    QCOMPARE(rig.dmm.sampleTimerId(), 0);
    QVERIFY(rig.dmm.currentCommand().isNull());
    // Removal of the bridge closes the same way.
    QVERIFY(rig.dmm.open());
    rig.dmm.slotUSBRemoved();
    QCOMPARE(closed.count(), 2);
    QVERIFY(!rig.dmm.commandThread());
}

void TestMyDmm::receivedBytesBecomeReadings_data()
{
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QStringList>("values");
    const QByteArray whole = reading("  4.321");
    for (int cut = 1; cut < whole.size(); ++cut)
        QTest::addRow("split at %d", cut)
            << QList<QByteArray>{whole.left(cut), whole.mid(cut)} << QStringList{"  4.321"};
    QList<QByteArray> bytes;
    for (const char byte : whole)
        bytes.append(QByteArray(1, byte));
    QTest::newRow("byte by byte") << bytes << QStringList{"  4.321"};
    const QByteArray fourth = reading("  4.000");
    QTest::newRow("several in one chunk")
        << QList<QByteArray>{reading("  1.000") + reading("  2.000") + reading("  3.000") +
                                 fourth.left(9),
                             fourth.mid(9)}
        << QStringList{"  1.000", "  2.000", "  3.000", "  4.000"};
    QTest::newRow("garbage before a frame")
        << QList<QByteArray>{QByteArray::fromHex("00ABFFCDAB") + reading("  7.000"), "noise",
                             reading("  8.000")}
        << QStringList{"  7.000", "  8.000"};
    QTest::newRow("too short to decode")
        << QList<QByteArray>{reading("  1.000"), frame::build(QByteArray(1, 2))}
        << QStringList{"  1.000"};

    // A bad frame does not hold back the next one, in its own chunk or the same.
    QByteArray badSum = reading("  9.999");
    badSum[badSum.size() - 1] = char(badSum.at(badSum.size() - 1) + 1);
    QByteArray tooShortLength = reading("  9.999");
    tooShortLength[2] = 2;
    QByteArray longLength = reading("  9.999");
    longLength[2] = char(200);
    const QByteArray good = reading("  5.000");
    const QStringList both = {"  5.000", "  6.000"};
    for (const auto &[name, bad] :
         {std::pair{"bad checksum", badSum}, std::pair{"length below 3", tooShortLength},
          std::pair{"length never filled", longLength}}) {
        QTest::addRow("%s, same chunk", name)
            << QList<QByteArray>{bad + good, reading("  6.000")} << both;
        QTest::addRow("%s, own chunk", name)
            << QList<QByteArray>{bad, good, reading("  6.000")} << both;
    }
}

void TestMyDmm::receivedBytesBecomeReadings()
{
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QStringList, values);
    Rig rig;
    rig.dmm.setSampleRate(0);
    QByteArray all;
    for (const QByteArray &chunk : chunks) {
        rig.feed(chunk);
        all += chunk;
    }
    QCOMPARE(rig.values(), values);
    QCOMPARE(rig.dmm.lastFrame(), framesIn(all).last());
}

void TestMyDmm::receiverReenteringTheDriverSeesEachFrameOnce()
{
    Rig rig;
    rig.dmm.setSampleRate(0);
    bool nested = false;
    // As if a dialog's event loop delivered more bytes while the first reading is shown.
    QObject::connect(&rig.dmm, &Dmm::display, [&](const DmmData *) {
        if (!std::exchange(nested, true))
            rig.feed(reading("  9.000"));
    });
    rig.feed(reading("  1.000") + reading("  2.000"));
    QCOMPARE(rig.values(), (QStringList{"  1.000", "  9.000", "  2.000"}));
}

void TestMyDmm::framesAreWrittenToTheLog()
{
    logswitch::logOn("klm704.frames");
    logswitch::logOn("klm704.timer");
    Rig rig;
    QVERIFY(rig.dmm.open());
    QTest::ignoreMessage(QtDebugMsg, "AB CD 03 FF 02 7A ");
    rig.feed(FakeLink::acknowledgement());
    QTest::ignoreMessage(QtDebugMsg, "timerEvent");
    QTimerEvent tick(rig.dmm.sampleTimerId());
    QCoreApplication::sendEvent(&rig.dmm, &tick);
    logswitch::logOff();
}

void TestMyDmm::acknowledgementReleasesKeyAndIsNoReading()
{
    Rig rig;
    rig.script.acknowledgeKeys = false;
    rig.dmm.setSampleRate(0);
    QVERIFY(rig.dmm.open());
    QTRY_COMPARE(rig.link()->written().size(), 1); // the first poll, never answered
    rig.dmm.sendHold();
    rig.link()->inject(reading("  1.000")); // answers the poll
    QTRY_COMPARE(rig.link()->written().size(), 2);
    QCOMPARE(rig.link()->written().last(), kHoldFrame);
    QCOMPARE(rig.dmm.currentCommand()->frame(), kHoldFrame);

    // An ordinary reply does not answer a key command.
    rig.link()->inject(reading("  2.000"));
    QTest::qWait(200);
    QCOMPARE(rig.link()->written().size(), 2);
    QCOMPARE(rig.dmm.oncePool()->commands().size(), 1);
    QCOMPARE(rig.count(), 2);

    rig.link()->inject(FakeLink::acknowledgement());
    QTRY_VERIFY(rig.dmm.oncePool()->isEmpty());
    QTRY_COMPARE(rig.link()->written().size(), 3);
    QCOMPARE(rig.link()->written().last(), FakeLink::pollFrame());
    QCOMPARE(rig.count(), 2);
}

void TestMyDmm::sampleTimerLimitsReadings()
{
    Rig rig;
    rig.dmm.setSampleRate(100000);
    QVERIFY(rig.dmm.open());
    for (int i = 0; i < 3; ++i)
        rig.feed(reading("  1.000"));
    QCOMPARE(rig.count(), 1); // the first reply after construction is due
    QTimerEvent otherTimer(rig.dmm.sampleTimerId() + 1000);
    QCoreApplication::sendEvent(&rig.dmm, &otherTimer);
    rig.feed(reading("  1.000"));
    QCOMPARE(rig.count(), 1);
    QTimerEvent tick(rig.dmm.sampleTimerId());
    QCoreApplication::sendEvent(&rig.dmm, &tick);
    // An acknowledgement never takes the due sample.
    rig.feed(FakeLink::acknowledgement());
    rig.feed(reading("  2.000") + reading("  3.000"));
    QCOMPARE(rig.values(), (QStringList{"  1.000", "  2.000"}));
}

void TestMyDmm::sampleRateChangesTakeEffectAtOnce()
{
    Rig rig;
    // Set while closed, a rate waits for the open; a negative one is no rate.
    rig.dmm.setSampleRate(-5);
    QCOMPARE(rig.dmm.sampleRate(), 0);
    rig.dmm.setSampleRate(100000);
    QCOMPARE(rig.dmm.sampleTimerId(), 0);
    QVERIFY(rig.dmm.open());
    rig.feed(reading("  1.000") + reading("  1.000"));
    QCOMPARE(rig.count(), 1);
    rig.dmm.setSampleRate(10);
    QVERIFY(rig.dmm.sampleTimerId() != 0);
    QTRY_VERIFY((rig.feed(reading("  1.000")), rig.count() >= 3));
    // Rate 0: no timer, every reply a reading.
    rig.dmm.setSampleRate(0);
    QCOMPARE(rig.dmm.sampleTimerId(), 0);
    const int before = rig.count();
    rig.feed(reading("  1.000") + reading("  1.000"));
    QCOMPARE(rig.count(), before + 2);
}

void TestMyDmm::modelNameChoosesTable_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<bool>("eTable");
    QTest::newRow("VX52C+") << "VX52C+" << false;
    QTest::newRow("VX310E") << "VX310E" << true;
    QTest::newRow("vx310e") << "vx310e" << true;
    QTest::newRow("e inside") << "VXe52" << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("no e") << "VX310A" << false;
}

void TestMyDmm::modelNameChoosesTable()
{
    QFETCH(QString, model);
    QFETCH(bool, eTable);
    MyDmm dmm(nullptr);
    dmm.setModel(model);
    QCOMPARE(dmm.meterModel(), model);
    QCOMPARE(&dmm.activeTable(), eTable ? &dmm.eTable() : &dmm.defaultTable());
    // Only the E table knows the AC+DC function.
    std::unique_ptr<DmmData> acPlusDc(dmm.decode(replyFrame(25, 0x30)));
    QCOMPARE(acPlusDc != nullptr, eTable);
}

void TestMyDmm::pollsAnsweredByTheMeterBecomeReadings()
{
    Rig rig;
    rig.script.pollReply = reading("-12.345");
    rig.dmm.setSampleRate(0);
    QSignalSpy closed(&rig.dmm, &Dmm::closed);
    QVERIFY(rig.dmm.open());
    QTRY_VERIFY(rig.count() >= 3);
    QCOMPARE(rig.readings.front()->value(), -12.345);
    QCOMPARE(rig.readings.front()->functionName(), QStringLiteral("DCV"));
    // After the close nothing more is written or read.
    rig.dmm.close();
    QCOMPARE(closed.count(), 1);
    QVERIFY(!rig.dmm.commandThread());
    const int writtenAtClose = rig.link()->written().size();
    const int readingsAtClose = rig.count();
    QTest::qWait(100);
    QCOMPARE(rig.link()->written().size(), writtenAtClose);
    QCOMPARE(rig.count(), readingsAtClose);
}

void TestMyDmm::everyReplyReleasesTheThreadWhileSamplingSlowly()
{
    Rig rig;
    rig.script.pollReply = reading("  3.300");
    rig.dmm.setSampleRate(100000);
    QVERIFY(rig.dmm.open());
    // Each poll waits a minute unless its reply releases it.
    QTRY_VERIFY(rig.writtenPolls() >= 20);
    QCOMPARE(rig.count(), 1);
}

void TestMyDmm::linkLostByItselfIsReplacedOnNextOpen()
{
    Rig rig;
    rig.script.pollReply = reading("  1.000");
    rig.dmm.setThreadTiming(quickTiming(20));
    QSignalSpy closed(&rig.dmm, &Dmm::closed);
    QVERIFY(rig.dmm.open());
    QTRY_VERIFY(rig.writtenPolls() >= 2);
    FakeLink *lost = rig.link();
    lost->dropBySelf();
    QCOMPARE(closed.count(), 1);
    QVERIFY(!rig.dmm.isOpen());
    // The thread goes on handing out polls, which are not written to the closed link.
    QPointer<CommandPoolThread> oldThread = rig.dmm.commandThread();
    QVERIFY(oldThread);
    const int writtenWhenLost = lost->written().size();
    QTest::qWait(100);
    QCOMPARE(lost->written().size(), writtenWhenLost);

    QVERIFY(rig.dmm.open());
    QVERIFY(oldThread.isNull());
    QVERIFY(rig.dmm.commandThread());
    QTRY_VERIFY(rig.writtenPolls() >= 2);
}

void TestMyDmm::stuckWorkerOutlivesCloseAndGoesLater()
{
    logswitch::logOn("klm704.thread");
    Rig rig;
    CommandPoolThread::Timing timing = quickTiming(20);
    timing.stopWaitMs = 100;
    rig.dmm.setThreadTiming(timing);
    Gate entered;
    Gate release;
    std::atomic_bool blockNext{true};
    QVERIFY(rig.dmm.open());
    QPointer<CommandPoolThread> thread = rig.dmm.commandThread();
    connect(
        thread, &CommandPoolThread::nextCommand, thread,
        [&](CommandPtr) {
            if (blockNext.exchange(false)) {
                entered.open();
                release.waitOpen(60000);
            }
        },
        Qt::DirectConnection);
    QVERIFY(entered.waitOpen(10000));
    QTest::ignoreMessage(QtWarningMsg, "Failed to stop the CommandPoolThread.");
    rig.dmm.close();
    QVERIFY(!rig.dmm.isOpen());
    QVERIFY(!rig.dmm.commandThread());
    QTest::qWait(50);
    QVERIFY(thread); // still running, so still there
    release.open();
    QTRY_VERIFY(thread.isNull());
}

void TestMyDmm::commandFromClosedConnectionIsIgnored()
{
    Rig rig;
    QVERIFY(rig.dmm.open());
    QTRY_VERIFY(rig.dmm.currentCommand());
    rig.dmm.close();
    const int written = rig.link()->written().size();
    rig.dmm.slotCommandPoolThreadNextCommand(rig.dmm.loopPool()->commands().first());
    QVERIFY(rig.dmm.currentCommand().isNull());
    QCOMPARE(rig.link()->written().size(), written);
}

void TestMyDmm::destroyingOpenDriverStopsEverything()
{
    FakeScript script;
    script.pollReply = reading("  1.000");
    DeviceSelector selector;
    selector.setLinkFactory([&script](const QString &, const LinkSettings &, QString *) {
        return new FakeLink(script);
    });
    auto dmm = std::make_unique<MyDmm>(&selector);
    dmm->setSampleRate(0);
    QVERIFY(dmm->open());
    QTRY_VERIFY(static_cast<FakeLink *>(selector.link())->written().size() >= 2);
    QPointer<CommandPoolThread> thread = dmm->commandThread();
    dmm.reset();
    QVERIFY(thread.isNull());
    QVERIFY(!selector.isActived());
    QTest::qWait(50); // answers still on their way reach nobody
}

void TestMyDmm::selectorGoneBeforeDriverIsHarmless()
{
    auto selector = std::make_unique<DeviceSelector>();
    MyDmm dmm(selector.get());
    selector.reset();
    QVERIFY(!dmm.isOpen());
    QVERIFY(!dmm.open());
    dmm.close();
}

QTEST_GUILESS_MAIN(TestMyDmm)
#include "tst_mydmm.moc"
