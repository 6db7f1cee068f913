#include "meter/frame.h"
#include "meter/meterkeys.h"
#include "meter/virtualmeter.h"
#include "tests/selectorprobe.h"

#include <QtTest>

namespace {

QByteArray command(quint8 code)
{
    return frame::build(QByteArray(1, char(code)));
}
const QByteArray kPoll = command(meterkeys::kPoll);

// Everything the meter put on the line, in the order it did.
QByteArray joined(const QSignalSpy &spy)
{
    QByteArray bytes;
    for (const QList<QVariant> &arguments : spy)
        bytes += arguments.at(0).toByteArray();
    return bytes;
}

// Sends the bytes and returns the valid frames that came back once count of them have (or
// after five seconds).
QList<QByteArray> exchange(VirtualMeter &meter, const QByteArray &bytes, int count = 1)
{
    QSignalSpy spy(&meter, &VirtualMeter::transmitted);
    meter.receive(bytes);
    (void)QTest::qWaitFor([&] { return framesIn(joined(spy)).size() >= count; }, 5000);
    return framesIn(joined(spy));
}

// What a reply shows: "display|function range|mode meter extra", the codes in hex.
QString look(const QList<QByteArray> &frames)
{
    const QByteArray reply = frames.value(0);
    return QString::fromLatin1(reply.mid(5, 7) + '|' + reply.mid(3, 2).toHex() + '|' +
                               reply.mid(14, 3).toHex());
}

// A meter on DC volts, 5 V at its input, without drift or line delays.
struct QuietMeter : VirtualMeter
{
    QuietMeter()
        : VirtualMeter(1234)
    {
        setTimeScale(0);
        state().setDrift(false);
    }
};

} // namespace

class TestVirtualMeter : public QObject
{
    Q_OBJECT
private slots:
    void answersAreWholeFrames()
    {
        QuietMeter meter;
        // Only whole, valid, known commands are answered, however the bytes are split.
        QByteArray badChecksum = kPoll;
        badChecksum[5] = char(badChecksum.at(5) + 1);
        const QByteArray bytes = QByteArray("\x01\xAB\x02", 3) + command(0x50) + badChecksum +
                                 frame::build(QByteArray("\x5E\x5E")) + kPoll;
        QSignalSpy spy(&meter, &VirtualMeter::transmitted);
        for (char byte : bytes)
            meter.receive(QByteArray(1, byte));
        QTRY_COMPARE(joined(spy).toHex(), QByteArray("abcd1002302020352e303030000000000002ed"));
        // A key is acknowledged with 0xFF and its code, then zeros.
        for (const int key : {0x41, 0x42, 0x46, 0x47, 0x48, 0x49, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E})
            QCOMPARE(exchange(meter, command(quint8(key))).value(0),
                     frame::build(QByteArray(1, '\xFF') + char(key) + QByteArray(12, '\0')));
    }

    // A script of steps: f function, i input, k key (hex), b low battery, o forced overload on/off,
    // = what the next poll shows.
    void panelFollowsKeysAndInput_data()
    {
        QTest::addColumn<QString>("script");
        const auto row = [](const char *name, const char *script) {
            QTest::newRow(name) << QString::fromLatin1(script);
        };
        row("DCV ranges", "i6;=  6.000|0230|000000;i-12.34;= -12.34|0231|000000;i1000;=   1000|"
                          "0233|000000;i1200;=  O.L  |0233|000000;i-0.0001;=  0.000|0230|000000");
        row("relative", "=  5.000|0230|000000;k48;=  0.000|0230|010000;i5.5;=  0.500|0230|010000;"
                        "i4.25;= -0.750|0230|010000;k48;=  4.250|0230|000000");
        row("max/min", "=  5.000|0230|000000;k41;i5.8;=  5.800|0230|080000;i4;=  5.800|0230|"
                       "080000;k41;=  4.000|0230|040000;k42;i4.5;=  4.500|0230|000000");
        row("battery, overload", "b;o1;=  O.L  |0230|000200;o0;=  5.000|0230|000200");
    }

    void panelFollowsKeysAndInput()
    {
        QFETCH(QString, script);
        QuietMeter meter;
        VirtualMeterState &state = meter.state();
        for (const QString &step : script.split(';')) {
            const char op = step.at(0).toLatin1();
            const QString arg = step.mid(1);
            if (op == 'f')
                QVERIFY(state.setFunction(quint8(arg.toInt())));
            else if (op == 'i')
                state.setInput(arg.toDouble());
            else if (op == 'k')
                QCOMPARE(exchange(meter, command(quint8(arg.toInt(nullptr, 16)))).size(), 1);
            else if (op == 'b')
                state.setLowBattery(true);
            else if (op == 'o')
                state.setOverload(arg == "1");
            else
                QCOMPARE(look(exchange(meter, kPoll)), arg);
        }
    }

    // In real time, answers follow each other on the line until the cable is pulled.
    void answersFollowEachOtherOnTheLineUntilUnplugged()
    {
        VirtualMeter meter(5);
        const auto frames = exchange(meter, kPoll + command(meterkeys::kHold) + kPoll, 3);
        QCOMPARE(frames.size(), 3);
        QCOMPARE(frames.at(1).mid(3, 2).toHex(), QByteArray("ff4a"));
        QCOMPARE(frames.at(2).at(14), char(0x02)); // the hold is on for the second poll
        // An unplug loses the answer on its way, and commands go unanswered until the replug.
        QSignalSpy bytes(&meter, &VirtualMeter::transmitted);
        QSignalSpy unplugged(&meter, &VirtualMeter::unplugged);
        meter.receive(kPoll);
        meter.unplug();
        meter.receive(kPoll);
        QTest::qWait(100);
        QVERIFY(bytes.isEmpty() && unplugged.size() == 1);
        meter.plugIn();
        // Timed from the bytes' own signal: QTest::qWaitFor sleeps between its looks.
        QSignalSpy answer(&meter, &VirtualMeter::transmitted);
        QElapsedTimer clock;
        qint64 lastBytesNs = 0;
        connect(&meter, &VirtualMeter::transmitted, [&] { lastBytesNs = clock.nsecsElapsed(); });
        clock.start();
        meter.receive(kPoll);
        while (framesIn(joined(answer)).isEmpty() && answer.wait(1000)) {
        }
        // The poll's 6 bytes cross the line, the meter pauses 15 ms, its 19 bytes come back
        // (chunks may leave up to half a millisecond early).
        const double lineMs = (6 + 19) * VirtualMeter::kByteMicroseconds / 1000 + 15;
        QVERIFY2(lastBytesNs / 1e6 >= lineMs - 0.5, qPrintable(QString::number(lastBytesNs)));
    }

    void faultsAreInjectedAsAsked()
    {
        QuietMeter meter;
        meter.dropNextReplies(2);
        const auto frames = exchange(meter, command(meterkeys::kHold) + kPoll + kPoll);
        QCOMPARE(look(frames), QStringLiteral("  5.000|0230|020000")); // the lost key still acted
        QCOMPARE(meter.commandsDropped(), 2);
        meter.corruptNextReplies(1);
        QSignalSpy spy(&meter, &VirtualMeter::transmitted);
        meter.receive(kPoll.repeated(2));
        meter.injectNoise(5);
        QTRY_COMPARE(joined(spy).size(), 2 * 19 + 5);
        QCOMPARE(framesIn(joined(spy)).size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestVirtualMeter)
#include "tst_virtualmeter.moc"
