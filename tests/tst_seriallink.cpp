#include "meter/deviceselector.h"
#include "meter/frame.h"
#include "meter/functionentry.h"

#include <QProcess>
#include <QtTest>

namespace {

const QByteArray kPoll = QByteArray::fromHex("abcd035e01d9");

// The simulator program on a new pseudo-terminal.
class Simulator
{
public:
    ~Simulator()
    {
        m_process.kill();
        m_process.waitForFinished();
    }

    // Starts it and reads the pseudo-terminal's path from its first line of output.
    bool start()
    {
        m_process.start(QStringLiteral(VX310A_SIM_PATH),
                        {QStringLiteral("--seed"), QStringLiteral("5"),
                         QStringLiteral("--time-scale"), QStringLiteral("0.2")});
        if (!m_process.waitForStarted(5000))
            return false;
        while (!m_process.canReadLine()) {
            if (!m_process.waitForReadyRead(5000))
                return false;
        }
        m_path = QString::fromLocal8Bit(m_process.readLine().trimmed());
        return !m_path.isEmpty();
    }

    QString device() const { return QStringLiteral("serial:") + m_path; }
    QProcess &process() { return m_process; }

private:
    QProcess m_process;
    QString m_path;
};

class Collector
{
public:
    explicit Collector(DeviceSelector &selector)
    {
        QObject::connect(&selector, &DeviceSelector::readyRead,
                         [this](const uint8_t *data, int len) {
                             m_bytes.append(reinterpret_cast<const char *>(data), len);
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

private:
    QByteArray m_bytes;
};

void poll(DeviceSelector &selector)
{
    selector.write(reinterpret_cast<const uchar *>(kPoll.constData()), kPoll.size());
}

} // namespace

class TestSerialLink : public QObject
{
    Q_OBJECT
private slots:
    void repliesArriveThroughPseudoTerminal();
    void reconnectingFindsTheLineAsItWas();
    void simulatorExitClosesLinkOnce();
    void missingPortSaysSo();
    void emptyPathIsRejected();
};

void TestSerialLink::repliesArriveThroughPseudoTerminal()
{
    Simulator simulator;
    QVERIFY(simulator.start());
    DeviceSelector selector;
    selector.setDevice(simulator.device());
    Collector collector(selector);
    QSignalSpy opened(&selector, &DeviceSelector::opened);
    QVERIFY2(selector.open(), qPrintable(selector.errorString()));
    QCOMPARE(opened.size(), 1);

    FunctionTable table, eTable;
    buildTables(table, eTable);
    for (int i = 1; i <= 3; ++i) {
        poll(selector);
        QTRY_COMPARE(collector.frames().size(), i);
        const QByteArray reply = collector.frames().last();
        QVERIFY(findEntry(table, quint8(reply.at(3)), quint8(reply.at(4))));
    }
    qDeleteAll(table);
    qDeleteAll(eTable);
}

void TestSerialLink::reconnectingFindsTheLineAsItWas()
{
    Simulator simulator;
    QVERIFY(simulator.start());
    DeviceSelector selector;
    selector.setDevice(simulator.device());
    Collector collector(selector);
    QSignalSpy closed(&selector, &DeviceSelector::closed);
    QVERIFY(selector.open());
    poll(selector);
    QTRY_COMPARE(collector.frames().size(), 1);
    selector.close();
    QCOMPARE(closed.size(), 1);

    QVERIFY(selector.open());
    poll(selector);
    QTRY_COMPARE(collector.frames().size(), 2);
    QCOMPARE(closed.size(), 1);
}

void TestSerialLink::simulatorExitClosesLinkOnce()
{
    Simulator simulator;
    QVERIFY(simulator.start());
    DeviceSelector selector;
    selector.setDevice(simulator.device());
    QSignalSpy closed(&selector, &DeviceSelector::closed);
    QVERIFY(selector.open());

    simulator.process().terminate();
    QVERIFY(simulator.process().waitForFinished(5000));
    QCOMPARE(simulator.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(simulator.process().exitCode(), 0);

    QTRY_COMPARE(closed.size(), 1);
    QVERIFY(!selector.isActived());
    QTest::qWait(100); // a hung-up line must not report its end again
    selector.close();
    QCOMPARE(closed.size(), 1);
}

void TestSerialLink::missingPortSaysSo()
{
    DeviceSelector selector;
    selector.setDevice(QStringLiteral("serial:/dev/klm704-no-such-port"));
    QSignalSpy opened(&selector, &DeviceSelector::opened);
    QVERIFY(!selector.open());
    QVERIFY(!selector.isActived());
    QCOMPARE(opened.size(), 0);
    QVERIFY(selector.errorString().contains(QStringLiteral("/dev/klm704-no-such-port")));
    QVERIFY(selector.errorString().contains(QStringLiteral("not found")));
}

void TestSerialLink::emptyPathIsRejected()
{
    DeviceSelector selector;
    selector.setDevice(QStringLiteral("serial:"));
    QVERIFY(!selector.open());
    QVERIFY(selector.errorString().startsWith(QStringLiteral("Unknown device")));
}

QTEST_GUILESS_MAIN(TestSerialLink)
#include "tst_seriallink.moc"
