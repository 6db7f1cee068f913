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

// What a reply shows: "display|function/range|mode meter extra", the codes in hex.
QString look(const QByteArray &reply)
{
    if (reply.size() != 19)
        return QStringLiteral("no reply: ") + QString::fromLatin1(reply.toHex(' '));
    return QString::fromLatin1(displayOf(reply) + '|' + reply.mid(3, 1).toHex() + '/' +
                               reply.mid(4, 1).toHex() + '|' + reply.mid(14, 3).toHex(' '));
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
    QString pollLook() { return look(poll()); }
    QByteArray press(quint8 key) { return answer(meter, key); }
    VirtualMeterState &state() { return meter.state(); }
    VirtualMeter meter;
};

} // namespace

class TestVirtualMeter : public QObject
{
    Q_OBJECT
private slots:
    void pollGetsExactReplyFrame();
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

void TestVirtualMeter::everyKeyIsAcknowledged_data()
{
    QTest::addColumn<quint8>("key");
    QTest::addColumn<bool>("shortStyle");
    QTest::addColumn<QByteArray>("expected"); // empty: the full form with the key after 0xFF
    for (quint8 key :
         {State::kMaxMin, State::kExitMaxMin, State::kRangeManual, State::kRangeAuto, State::kRel,
          State::kHz, State::kHold, State::kLight, State::kSelect, State::kPeak, State::kExitPeak})
        QTest::addRow("%x", key) << key << false << QByteArray();
    QTest::newRow("select, full") << State::kSelect << false
                                  << QByteArray("abcd10ff4c00000000000000000000000002d3");
    QTest::newRow("select, short") << State::kSelect << true << QByteArray("abcd03ff027a");
}

void TestVirtualMeter::everyKeyIsAcknowledged()
{
    QFETCH(quint8, key);
    QFETCH(bool, shortStyle);
    QFETCH(QByteArray, expected);
    QuietMeter quiet;
    quiet.meter.setAckStyle(shortStyle ? VirtualMeter::AckStyle::Short
                                       : VirtualMeter::AckStyle::Full);
    const QByteArray ack = quiet.press(key);
    if (expected.isEmpty()) {
        QCOMPARE(ack.size(), 19);
        QCOMPARE(ack.mid(3, 2), QByteArray(1, char(VirtualMeter::kAckCode)) + char(key));
    } else {
        QCOMPARE(ack.toHex(), expected);
    }
    QCOMPARE(quiet.meter.acknowledgementsSent(), 1);
    QCOMPARE(quiet.meter.repliesSent(), 0);
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
    QTest::addColumn<int>("function");
    QTest::addColumn<double>("input");
    QTest::addColumn<QString>("look"); // display|function/range
    const auto row = [](const char *name, int function, double input, const char *look) {
        QTest::newRow(name) << function << input << QString::fromLatin1(look);
    };
    row("DCV 5 V", 2, 5.0, "  5.000|02/30");
    row("DCV at 6 V", 2, 6.0, "  6.000|02/30");
    row("DCV -12.34 V", 2, -12.34, " -12.34|02/31");
    row("DCV 1000 V", 2, 1000.0, "   1000|02/33");
    row("DCV past 1000 V", 2, 1200.0, "  O.L  |02/33");
    row("DCV tiny negative", 2, -0.0001, "  0.000|02/30");
    row("DCmV 32.1 mV", 3, 0.0321, "  32.10|03/30");
    row("RES 4.7 kOhm", 6, 4700.0, "  4.700|06/31");
    row("RES 33 MOhm", 6, 33e6, "  33.00|06/35");
    row("CAP 4.7 uF", 9, 4.7e-6, "  4.700|09/32");
    row("FREQ 1.5 MHz", 4, 1.5e6, "  1.500|04/35");
    row("Duty 50 %", 5, 50.0, "   50.0|05/30");
    row("DCuA 123.4 uA", 12, 123.4e-6, "  123.4|0c/30");
    row("DCA 10 A range", 16, 7.5, "   7.50|10/31");
    row("Celsius 23.5", 10, 23.5, "   23.5|0a/30");
    row("Celsius 500", 10, 500.0, "    500|0a/31");
    row("Celsius below -40", 10, -50.0, " -O.L  |0a/30");
    row("Celsius above 1000", 10, 1100.0, "  O.L  |0a/31");
    row("hFE 150", 18, 150.0, "    150|12/30");
}

void TestVirtualMeter::rangeFollowsInput()
{
    QFETCH(int, function);
    QFETCH(double, input);
    QuietMeter quiet;
    QVERIFY(quiet.state().setFunction(quint8(function)));
    quiet.state().setInput(input);
    QTEST(quiet.pollLook().section(QLatin1Char('|'), 0, 1), "look");
}

void TestVirtualMeter::selectStepsThroughFunctionsAndResetsModes()
{
    QuietMeter quiet;
    quiet.press(State::kRangeManual);
    quiet.press(State::kHold);
    quiet.press(State::kSelect);
    QVERIFY(!quiet.state().isManualRange() && !quiet.state().isHold());
    QCOMPARE(quiet.pollLook(), QStringLiteral("  32.10|03/30|00 00 00"));
    QVERIFY(quiet.state().setFunction(23));
    quiet.press(State::kSelect);
    QCOMPARE(quiet.state().function(), quint8(0));
    QVERIFY(!quiet.state().setFunction(24)); // only in the other meter's table
    QCOMPARE(quiet.state().function(), quint8(0));
}

void TestVirtualMeter::manualStepsRangeAndAutoReturns()
{
    QuietMeter quiet;
    quiet.press(State::kRangeManual);
    QCOMPARE(quiet.pollLook(), QStringLiteral("   5.00|02/31|00 04 00"));
    for (int i = 0; i < 3; ++i)
        quiet.press(State::kRangeManual);
    QCOMPARE(quiet.pollLook(), QStringLiteral("  5.000|02/30|00 04 00")); // four ranges: wrapped
    quiet.state().setInput(45);
    QCOMPARE(quiet.pollLook(), QStringLiteral("  O.L  |02/30|00 04 00")); // held in the 6 V range
    quiet.press(State::kRangeAuto);
    QCOMPARE(quiet.pollLook(), QStringLiteral("  45.00|02/31|00 00 00"));
}

void TestVirtualMeter::relativeShowsDifferenceFromReference()
{
    QuietMeter quiet;
    quiet.poll();
    quiet.press(State::kRel);
    QCOMPARE(quiet.pollLook(), QStringLiteral("  0.000|02/30|01 00 00"));
    quiet.state().setInput(5.5);
    QCOMPARE(quiet.pollLook(), QStringLiteral("  0.500|02/30|01 00 00"));
    quiet.state().setInput(4.25);
    QCOMPARE(quiet.pollLook(), QStringLiteral(" -0.750|02/30|01 00 00"));
    quiet.press(State::kRel);
    QCOMPARE(quiet.pollLook(), QStringLiteral("  4.250|02/30|00 00 00"));
}

void TestVirtualMeter::holdFreezesDisplay()
{
    QuietMeter quiet;
    quiet.poll();
    quiet.press(State::kHold);
    quiet.state().setInput(3.3);
    QCOMPARE(quiet.pollLook(), QStringLiteral("  5.000|02/30|02 00 00"));
    quiet.press(State::kHold);
    QCOMPARE(quiet.pollLook(), QStringLiteral("  3.300|02/30|00 00 00"));
    // The backlight changes nothing in the replies.
    quiet.press(State::kLight);
    QVERIFY(quiet.state().isBacklightOn());
    QCOMPARE(quiet.pollLook(), QStringLiteral("  3.300|02/30|00 00 00"));
    quiet.press(State::kLight);
    QVERIFY(!quiet.state().isBacklightOn());
}

void TestVirtualMeter::hzCyclesFrequencyAndDuty()
{
    QuietMeter quiet;
    QList<int> functions;
    for (int press = 0; press < 3; ++press) {
        quiet.press(State::kHz);
        functions << quiet.state().function();
    }
    QVERIFY(quiet.state().setFunction(4));
    for (int press = 0; press < 2; ++press) {
        quiet.press(State::kHz);
        functions << quiet.state().function();
    }
    QCOMPARE(functions, (QList<int>{22, 23, 2, 5, 4}));
    QCOMPARE(byteAt(quiet.poll(), 3), quint8(4));
}

void TestVirtualMeter::maxMinShowsExtremesUntilExit()
{
    QuietMeter quiet;
    quiet.poll();
    quiet.press(State::kMaxMin);
    quiet.state().setInput(5.8);
    QCOMPARE(quiet.pollLook(), QStringLiteral("  5.800|02/30|08 00 00"));
    quiet.state().setInput(4.0);
    QCOMPARE(quiet.pollLook(), QStringLiteral("  5.800|02/30|08 00 00"));
    quiet.press(State::kMaxMin);
    QCOMPARE(quiet.pollLook(), QStringLiteral("  4.000|02/30|04 00 00"));
    quiet.press(State::kExitMaxMin);
    quiet.state().setInput(4.5);
    QCOMPARE(quiet.pollLook(), QStringLiteral("  4.500|02/30|00 00 00"));
}

void TestVirtualMeter::peakExcludesMaxMin()
{
    QuietMeter quiet;
    quiet.press(State::kMaxMin);
    quiet.press(State::kPeak);
    QCOMPARE(quiet.pollLook(), QStringLiteral("  5.000|02/30|00 00 04"));
    quiet.press(State::kPeak);
    QCOMPARE(quiet.pollLook(), QStringLiteral("  5.000|02/30|00 00 02"));
    quiet.press(State::kExitPeak);
    QCOMPARE(quiet.pollLook(), QStringLiteral("  5.000|02/30|00 00 00"));
}

void TestVirtualMeter::lowBatteryAndForcedOverload()
{
    QuietMeter quiet;
    quiet.state().setLowBattery(true);
    quiet.state().setOverload(true);
    QCOMPARE(quiet.pollLook(), QStringLiteral("  O.L  |02/30|00 02 00"));
    quiet.state().setOverload(false);
    QCOMPARE(quiet.pollLook(), QStringLiteral("  5.000|02/30|00 02 00"));
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
