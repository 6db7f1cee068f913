#include "meter/frame.h"
#include "meter/functionentry.h"
#include "meter/virtualmeter.h"
#include "tests/selectorprobe.h"

#include <QElapsedTimer>
#include <QtTest>

namespace {

using State = VirtualMeterState;

QByteArray command(quint8 code)
{
    return frame::build(QByteArray(1, char(code)));
}

// Everything the meter put on the line, in the order it did.
QByteArray joined(const QSignalSpy &spy)
{
    QByteArray bytes;
    for (const QList<QVariant> &arguments : spy)
        bytes += arguments.at(0).toByteArray();
    return bytes;
}

// Sends the commands and waits until count valid frames have come back.
QList<QByteArray> exchange(VirtualMeter &meter, const QByteArray &commands, int count = 1)
{
    QSignalSpy spy(&meter, &VirtualMeter::transmitted);
    meter.receive(commands);
    // A time-out shows in the callers' checks as frames missing.
    (void)QTest::qWaitFor([&] { return framesIn(joined(spy)).size() >= count; }, 5000);
    return framesIn(joined(spy));
}

// The one frame that answers a command.
QByteArray answer(VirtualMeter &meter, quint8 code)
{
    const QList<QByteArray> frames = exchange(meter, command(code));
    return frames.size() == 1 ? frames.first() : QByteArray();
}

QByteArray displayOf(const QByteArray &reply)
{
    return reply.mid(5, 7);
}

quint8 byteAt(const QByteArray &reply, int index)
{
    return quint8(reply.at(index));
}

// A meter without drift or line delays, on DC volts.
struct QuietMeter
{
    QuietMeter()
        : meter(1234)
    {
        meter.setTimeScale(0);
        meter.state().setDrift(false);
    }
    QByteArray poll() { return answer(meter, VirtualMeter::kPollCode); }
    QByteArray press(quint8 key) { return answer(meter, key); }
    VirtualMeter meter;
};

} // namespace

class TestVirtualMeter : public QObject
{
    Q_OBJECT
private slots:
    void pollGetsExactReplyFrame();
    void keyGetsAcknowledgement_data();
    void keyGetsAcknowledgement();
    void everyKeyIsAcknowledged_data();
    void everyKeyIsAcknowledged();
    void onlyValidKnownCommandsAreAnswered();
    void commandSplitAnywhereIsAnswered();
    void rangeFollowsInput_data();
    void rangeFollowsInput();
    void selectStepsThroughFunctionsAndResetsModes();
    void manualStepsRangeAndAutoReturns();
    void relativeShowsDifferenceFromReference();
    void holdFreezesDisplay();
    void hzCyclesFrequencyAndDuty();
    void lightTogglesBacklightOnly();
    void maxMinShowsExtremesUntilExit();
    void peakExcludesMaxMin();
    void lowBatteryAndForcedOverload();
    void driftMovesNearInput();
    void sameSeedCutsSameChunks();
    void chunkingOffSendsWholeFrames();
    void answersFollowEachOtherOnTheLine();
    void realTimeRepliesTakeWireTime();
    void droppedReplyIsNotSent();
    void corruptedReplyFailsChecksumAndIsLogged();
    void noiseArrivesOnTheLine();
    void unplugLosesPendingAndIgnoresCommands();
    void logKeepsSentTextsUpToLimit();
};

void TestVirtualMeter::pollGetsExactReplyFrame()
{
    QuietMeter quiet;
    QCOMPARE(quiet.poll().toHex(' '),
             QByteArray("ab cd 10 02 30 20 20 35 2e 30 30 30 00 00 00 00 00 02 ed"));
}

void TestVirtualMeter::keyGetsAcknowledgement_data()
{
    QTest::addColumn<bool>("shortStyle");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("full") << false
                          << QByteArray("abcd10ff4c000000000000000000000000"
                                        "02d3");
    QTest::newRow("short") << true << QByteArray("abcd03ff027a");
}

void TestVirtualMeter::keyGetsAcknowledgement()
{
    QFETCH(bool, shortStyle);
    QFETCH(QByteArray, expected);
    QuietMeter quiet;
    quiet.meter.setAckStyle(shortStyle ? VirtualMeter::AckStyle::Short
                                       : VirtualMeter::AckStyle::Full);
    QCOMPARE(quiet.press(State::kSelect).toHex(), expected);
    QCOMPARE(quiet.meter.acknowledgementsSent(), 1);
    QCOMPARE(quiet.meter.repliesSent(), 0);
}

void TestVirtualMeter::everyKeyIsAcknowledged_data()
{
    QTest::addColumn<quint8>("key");
    for (quint8 key :
         {State::kMaxMin, State::kExitMaxMin, State::kRangeManual, State::kRangeAuto, State::kRel,
          State::kHz, State::kHold, State::kLight, State::kSelect, State::kPeak, State::kExitPeak})
        QTest::newRow(QByteArray::number(key, 16).constData()) << key;
}

void TestVirtualMeter::everyKeyIsAcknowledged()
{
    QFETCH(quint8, key);
    QuietMeter quiet;
    const QByteArray ack = quiet.press(key);
    QCOMPARE(ack.size(), 19);
    QCOMPARE(byteAt(ack, 3), VirtualMeter::kAckCode);
    QCOMPARE(byteAt(ack, 4), key);
}

void TestVirtualMeter::onlyValidKnownCommandsAreAnswered()
{
    QuietMeter quiet;
    QByteArray badChecksum = command(VirtualMeter::kPollCode);
    badChecksum[5] = char(badChecksum.at(5) + 1);
    const QByteArray twoBytePayload = frame::build(QByteArray("\x5E\x5E"));
    // The line keeps the order of answers, so the last poll's reply comes after any other.
    const QList<QByteArray> frames =
        exchange(quiet.meter,
                 command(0x50) + badChecksum + twoBytePayload + command(VirtualMeter::kPollCode));
    QCOMPARE(frames.size(), 1);
    QCOMPARE(byteAt(frames.first(), 3), quint8(2));
    QCOMPARE(quiet.meter.repliesSent(), 1);
}

void TestVirtualMeter::commandSplitAnywhereIsAnswered()
{
    QuietMeter quiet;
    QSignalSpy spy(&quiet.meter, &VirtualMeter::transmitted);
    const QByteArray bytes = QByteArray("\x01\xAB\x02", 3) + command(VirtualMeter::kPollCode);
    for (char byte : bytes)
        quiet.meter.receive(QByteArray(1, byte));
    QTRY_COMPARE(framesIn(joined(spy)).size(), 1);
    QTest::qWait(20);
    QCOMPARE(framesIn(joined(spy)).size(), 1);
}

void TestVirtualMeter::rangeFollowsInput_data()
{
    QTest::addColumn<quint8>("function");
    QTest::addColumn<double>("input");
    QTest::addColumn<quint8>("range");
    QTest::addColumn<QByteArray>("display");
    QTest::newRow("DCV 5 V") << quint8(2) << 5.0 << quint8(0x30) << QByteArray("  5.000");
    QTest::newRow("DCV at 6 V") << quint8(2) << 6.0 << quint8(0x30) << QByteArray("  6.000");
    QTest::newRow("DCV -12.34 V") << quint8(2) << -12.34 << quint8(0x31) << QByteArray(" -12.34");
    QTest::newRow("DCV 1000 V") << quint8(2) << 1000.0 << quint8(0x33) << QByteArray("   1000");
    QTest::newRow("DCV past 1000 V")
        << quint8(2) << 1200.0 << quint8(0x33) << QByteArray("  O.L  ");
    QTest::newRow("DCV tiny negative")
        << quint8(2) << -0.0001 << quint8(0x30) << QByteArray("  0.000");
    QTest::newRow("DCmV 32.1 mV") << quint8(3) << 0.0321 << quint8(0x30) << QByteArray("  32.10");
    QTest::newRow("RES 4.7 kOhm") << quint8(6) << 4700.0 << quint8(0x31) << QByteArray("  4.700");
    QTest::newRow("RES 33 MOhm") << quint8(6) << 33e6 << quint8(0x35) << QByteArray("  33.00");
    QTest::newRow("CAP 4.7 uF") << quint8(9) << 4.7e-6 << quint8(0x32) << QByteArray("  4.700");
    QTest::newRow("FREQ 1.5 MHz") << quint8(4) << 1.5e6 << quint8(0x35) << QByteArray("  1.500");
    QTest::newRow("Duty 50 %") << quint8(5) << 50.0 << quint8(0x30) << QByteArray("   50.0");
    QTest::newRow("DCuA 123.4 uA")
        << quint8(12) << 123.4e-6 << quint8(0x30) << QByteArray("  123.4");
    QTest::newRow("DCA 10 A range") << quint8(16) << 7.5 << quint8(0x31) << QByteArray("   7.50");
    QTest::newRow("Celsius 23.5") << quint8(10) << 23.5 << quint8(0x30) << QByteArray("   23.5");
    QTest::newRow("Celsius 500") << quint8(10) << 500.0 << quint8(0x31) << QByteArray("    500");
    QTest::newRow("Celsius below -40")
        << quint8(10) << -50.0 << quint8(0x30) << QByteArray(" -O.L  ");
    QTest::newRow("Celsius above 1000")
        << quint8(10) << 1100.0 << quint8(0x31) << QByteArray("  O.L  ");
    QTest::newRow("hFE 150") << quint8(18) << 150.0 << quint8(0x30) << QByteArray("    150");
}

void TestVirtualMeter::rangeFollowsInput()
{
    QFETCH(quint8, function);
    QFETCH(double, input);
    QFETCH(quint8, range);
    QFETCH(QByteArray, display);
    QuietMeter quiet;
    QVERIFY(quiet.meter.state().setFunction(function));
    quiet.meter.state().setInput(input);
    const QByteArray reply = quiet.poll();
    QCOMPARE(byteAt(reply, 3), function);
    QCOMPARE(byteAt(reply, 4), range);
    QCOMPARE(displayOf(reply), display);

    FunctionTable table, eTable;
    buildTables(table, eTable);
    QVERIFY(findEntry(table, function, range));
    qDeleteAll(table);
    qDeleteAll(eTable);
}

void TestVirtualMeter::selectStepsThroughFunctionsAndResetsModes()
{
    QuietMeter quiet;
    VirtualMeterState &state = quiet.meter.state();
    quiet.press(State::kRangeManual);
    quiet.press(State::kHold);
    quiet.press(State::kSelect);
    QCOMPARE(state.function(), quint8(3));
    QVERIFY(!state.isManualRange());
    QVERIFY(!state.isHold());
    QCOMPARE(byteAt(quiet.poll(), 3), quint8(3));

    QVERIFY(state.setFunction(23));
    quiet.press(State::kSelect);
    QCOMPARE(state.function(), quint8(0));
    QVERIFY(!state.setFunction(24)); // only in the other meter's table
    QCOMPARE(state.function(), quint8(0));
}

void TestVirtualMeter::manualStepsRangeAndAutoReturns()
{
    QuietMeter quiet;
    quiet.press(State::kRangeManual);
    QByteArray reply = quiet.poll();
    QCOMPARE(byteAt(reply, 4), quint8(0x31));
    QCOMPARE(byteAt(reply, 15), quint8(0x04));
    QCOMPARE(displayOf(reply), QByteArray("   5.00"));

    for (int i = 0; i < 3; ++i)
        quiet.press(State::kRangeManual);
    QCOMPARE(byteAt(quiet.poll(), 4), quint8(0x30)); // four ranges: wrapped round

    quiet.meter.state().setInput(45);
    QCOMPARE(displayOf(quiet.poll()), QByteArray("  O.L  ")); // held in the 6 V range

    quiet.press(State::kRangeAuto);
    reply = quiet.poll();
    QCOMPARE(byteAt(reply, 15), quint8(0));
    QCOMPARE(byteAt(reply, 4), quint8(0x31));
    QCOMPARE(displayOf(reply), QByteArray("  45.00"));
}

void TestVirtualMeter::relativeShowsDifferenceFromReference()
{
    QuietMeter quiet;
    quiet.poll();
    quiet.press(State::kRel);
    QByteArray reply = quiet.poll();
    QCOMPARE(displayOf(reply), QByteArray("  0.000"));
    QCOMPARE(byteAt(reply, 14), quint8(0x01));

    quiet.meter.state().setInput(5.5);
    QCOMPARE(displayOf(quiet.poll()), QByteArray("  0.500"));
    quiet.meter.state().setInput(4.25);
    QCOMPARE(displayOf(quiet.poll()), QByteArray(" -0.750"));

    quiet.press(State::kRel);
    reply = quiet.poll();
    QCOMPARE(displayOf(reply), QByteArray("  4.250"));
    QCOMPARE(byteAt(reply, 14), quint8(0));
}

void TestVirtualMeter::holdFreezesDisplay()
{
    QuietMeter quiet;
    quiet.poll();
    quiet.press(State::kHold);
    quiet.meter.state().setInput(3.3);
    QByteArray reply = quiet.poll();
    QCOMPARE(displayOf(reply), QByteArray("  5.000"));
    QCOMPARE(byteAt(reply, 14), quint8(0x02));

    quiet.press(State::kHold);
    reply = quiet.poll();
    QCOMPARE(displayOf(reply), QByteArray("  3.300"));
    QCOMPARE(byteAt(reply, 14), quint8(0));
}

void TestVirtualMeter::hzCyclesFrequencyAndDuty()
{
    QuietMeter quiet;
    VirtualMeterState &state = quiet.meter.state();
    const QList<quint8> expected = {22, 23, 2};
    for (quint8 function : expected) {
        quiet.press(State::kHz);
        QCOMPARE(state.function(), function);
    }
    QVERIFY(state.setFunction(4));
    quiet.press(State::kHz);
    QCOMPARE(state.function(), quint8(5));
    quiet.press(State::kHz);
    QCOMPARE(state.function(), quint8(4));
    QCOMPARE(byteAt(quiet.poll(), 3), quint8(4));
}

void TestVirtualMeter::lightTogglesBacklightOnly()
{
    QuietMeter quiet;
    const QByteArray before = quiet.poll();
    quiet.press(State::kLight);
    QVERIFY(quiet.meter.state().isBacklightOn());
    QCOMPARE(quiet.poll(), before);
    quiet.press(State::kLight);
    QVERIFY(!quiet.meter.state().isBacklightOn());
}

void TestVirtualMeter::maxMinShowsExtremesUntilExit()
{
    QuietMeter quiet;
    quiet.poll();
    quiet.press(State::kMaxMin);
    quiet.meter.state().setInput(5.8);
    QByteArray reply = quiet.poll();
    QCOMPARE(byteAt(reply, 14), quint8(0x08));
    QCOMPARE(displayOf(reply), QByteArray("  5.800"));
    quiet.meter.state().setInput(4.0);
    QCOMPARE(displayOf(quiet.poll()), QByteArray("  5.800"));

    quiet.press(State::kMaxMin);
    reply = quiet.poll();
    QCOMPARE(byteAt(reply, 14), quint8(0x04));
    QCOMPARE(displayOf(reply), QByteArray("  4.000"));

    quiet.press(State::kExitMaxMin);
    quiet.meter.state().setInput(4.5);
    reply = quiet.poll();
    QCOMPARE(byteAt(reply, 14), quint8(0));
    QCOMPARE(displayOf(reply), QByteArray("  4.500"));
}

void TestVirtualMeter::peakExcludesMaxMin()
{
    QuietMeter quiet;
    quiet.press(State::kMaxMin);
    quiet.press(State::kPeak);
    QByteArray reply = quiet.poll();
    QCOMPARE(byteAt(reply, 14), quint8(0));
    QCOMPARE(byteAt(reply, 16), quint8(0x04));
    quiet.press(State::kPeak);
    QCOMPARE(byteAt(quiet.poll(), 16), quint8(0x02));
    quiet.press(State::kExitPeak);
    QCOMPARE(byteAt(quiet.poll(), 16), quint8(0));
    QCOMPARE(quiet.meter.state().peak(), State::Extreme::Off);
}

void TestVirtualMeter::lowBatteryAndForcedOverload()
{
    QuietMeter quiet;
    quiet.meter.state().setLowBattery(true);
    quiet.meter.state().setOverload(true);
    const QByteArray reply = quiet.poll();
    QCOMPARE(byteAt(reply, 15), quint8(0x02));
    QCOMPARE(displayOf(reply), QByteArray("  O.L  "));
    quiet.meter.state().setOverload(false);
    QCOMPARE(displayOf(quiet.poll()), QByteArray("  5.000"));
}

void TestVirtualMeter::driftMovesNearInput()
{
    VirtualMeterState state(99);
    QSet<QByteArray> texts;
    for (int i = 0; i < 200; ++i) {
        const QByteArray text = state.sampleReply().mid(2, 7);
        texts.insert(text);
        bool ok = false;
        const double value = text.trimmed().toDouble(&ok);
        QVERIFY2(ok && qAbs(value - 5.0) < 0.15, text.constData());
    }
    QVERIFY(texts.size() > 5);
}

void TestVirtualMeter::sameSeedCutsSameChunks()
{
    VirtualMeter first(7), second(7);
    QList<QList<QVariant>> runs[2];
    int index = 0;
    for (VirtualMeter *meter : {&first, &second}) {
        meter->setTimeScale(0);
        QSignalSpy spy(meter, &VirtualMeter::transmitted);
        meter->receive(command(VirtualMeter::kPollCode).repeated(20));
        QTRY_COMPARE(framesIn(joined(spy)).size(), 20);
        runs[index++] = spy;
    }
    QCOMPARE(runs[0], runs[1]);
    QVERIFY(runs[0].size() > 20); // some replies came in pieces
}

void TestVirtualMeter::chunkingOffSendsWholeFrames()
{
    QuietMeter quiet;
    quiet.meter.setChunking(false);
    QSignalSpy spy(&quiet.meter, &VirtualMeter::transmitted);
    quiet.meter.receive(command(VirtualMeter::kPollCode).repeated(10));
    QTRY_COMPARE(spy.size(), 10);
    for (const QList<QVariant> &arguments : spy)
        QCOMPARE(framesIn(arguments.at(0).toByteArray()).size(), 1);
}

void TestVirtualMeter::answersFollowEachOtherOnTheLine()
{
    VirtualMeter meter(3);
    meter.setTimeScale(0.05);
    const QList<QByteArray> frames = exchange(
        meter,
        command(VirtualMeter::kPollCode) + command(State::kHold) + command(VirtualMeter::kPollCode),
        3);
    QCOMPARE(frames.size(), 3);
    QCOMPARE(byteAt(frames.at(0), 3), quint8(2));
    QCOMPARE(byteAt(frames.at(1), 3), VirtualMeter::kAckCode);
    QCOMPARE(byteAt(frames.at(2), 14), quint8(0x02)); // the hold is on for the second poll
}

// A lower bound only: three answers cannot come before the meter's delay and three times 19
// bytes at 9600 baud, as the line carries one byte after the other.
void TestVirtualMeter::realTimeRepliesTakeWireTime()
{
    VirtualMeter meter(5);
    QSignalSpy spy(&meter, &VirtualMeter::transmitted);
    QElapsedTimer clock;
    clock.start();
    meter.receive(command(VirtualMeter::kPollCode).repeated(3));
    QTRY_COMPARE(framesIn(joined(spy)).size(), 3);
    const double minimumMs =
        (VirtualMeter::kAnswerDelayMicroseconds + 3 * 19 * VirtualMeter::kByteMicroseconds) / 1000;
    QVERIFY2(clock.elapsed() >= qint64(minimumMs), QByteArray::number(clock.elapsed()));
}

void TestVirtualMeter::droppedReplyIsNotSent()
{
    QuietMeter quiet;
    quiet.meter.dropNextReplies(2);
    const QList<QByteArray> frames =
        exchange(quiet.meter, command(State::kHold) + command(VirtualMeter::kPollCode) +
                                  command(VirtualMeter::kPollCode));
    QCOMPARE(frames.size(), 1);
    QCOMPARE(byteAt(frames.first(), 14), quint8(0x02)); // the unanswered key still acted
    QCOMPARE(quiet.meter.commandsDropped(), 2);
    QCOMPARE(quiet.meter.repliesSent(), 1);
    QCOMPARE(quiet.meter.acknowledgementsSent(), 0);
}

void TestVirtualMeter::corruptedReplyFailsChecksumAndIsLogged()
{
    QuietMeter quiet;
    quiet.meter.corruptNextReplies(1);
    QSignalSpy spy(&quiet.meter, &VirtualMeter::transmitted);
    quiet.meter.receive(command(VirtualMeter::kPollCode).repeated(2));
    QTRY_COMPARE(joined(spy).size(), 38);
    const QByteArray bytes = joined(spy);
    QVERIFY(framesIn(bytes.left(19)).isEmpty());
    QCOMPARE(framesIn(bytes.mid(19)).size(), 1);
    const QList<VirtualMeter::SentReply> log = quiet.meter.sentReplies();
    QCOMPARE(log.size(), 2);
    QVERIFY(!log.at(0).intact);
    QVERIFY(log.at(1).intact);
}

void TestVirtualMeter::noiseArrivesOnTheLine()
{
    QuietMeter quiet;
    QSignalSpy spy(&quiet.meter, &VirtualMeter::transmitted);
    quiet.meter.injectNoise(5);
    QTRY_COMPARE(joined(spy).size(), 5);
}

void TestVirtualMeter::unplugLosesPendingAndIgnoresCommands()
{
    VirtualMeter meter(11);
    QSignalSpy bytes(&meter, &VirtualMeter::transmitted);
    QSignalSpy unplugged(&meter, &VirtualMeter::unplugged);
    meter.receive(command(VirtualMeter::kPollCode)); // answer due in about 35 ms
    meter.unplug();
    QCOMPARE(unplugged.size(), 1);
    meter.receive(command(VirtualMeter::kPollCode));
    QTest::qWait(100);
    QCOMPARE(bytes.size(), 0);

    meter.plugIn();
    meter.setTimeScale(0);
    QCOMPARE(exchange(meter, command(VirtualMeter::kPollCode)).size(), 1);
}

void TestVirtualMeter::logKeepsSentTextsUpToLimit()
{
    QuietMeter quiet;
    quiet.meter.setLogLimit(2);
    QList<QByteArray> shown;
    for (double input : {1.0, 2.0, 3.0}) {
        quiet.meter.state().setInput(input);
        shown.append(displayOf(quiet.poll()));
    }
    QCOMPARE(quiet.meter.repliesSent(), 3);
    const QList<VirtualMeter::SentReply> log = quiet.meter.sentReplies();
    QCOMPARE(log.size(), 2);
    QCOMPARE(log.at(0).text, shown.at(1));
    QCOMPARE(log.at(1).text, shown.at(2));
    QCOMPARE(log.at(1).function, quint8(2));
    QCOMPARE(log.at(1).range, quint8(0x30));
}

QTEST_GUILESS_MAIN(TestVirtualMeter)
#include "tst_virtualmeter.moc"
