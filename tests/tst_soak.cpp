// Soak test: the driver polls the in-process virtual meter as fast as it answers (SampleRate 0)
// for a set time while keys are pressed and the link is closed and opened at random. In the
// first half the line is clean and every reply must become exactly one reading; in the second
// the meter also sends noise, spoils checksums, leaves commands unanswered and has its cable
// pulled, and every reading must still be one the meter really sent. Memory in use must come
// back to where it was.
//
// KLM704_SOAK_SECONDS sets the time (120 s by default), KLM704_SOAK_SEED the random seed.

#include "meter/deviceselector.h"
#include "meter/dmmdata.h"
#include "meter/functionentry.h"
#include "meter/meterkeys.h"
#include "meter/mydmm.h"
#include "meter/simlink.h"
#include "meter/virtualmeter.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QtTest>

#include <malloc.h>
#include <memory>
#include <unistd.h>

namespace {

constexpr int kDefaultSeconds = 120;
// The meter's log only needs to reach back over the replies still on their way.
constexpr int kLogEntries = 256;
constexpr char kNoThreadCaches[] = "glibc.malloc.tcache_count=0:glibc.malloc.arena_max=1";
// Longest wait for the driver to make progress before the run counts as hung.
constexpr int kProgressTimeoutMs = 20000;

int soakSeconds()
{
    bool ok = false;
    const int seconds = qEnvironmentVariableIntValue("KLM704_SOAK_SECONDS", &ok);
    return ok && seconds > 0 ? seconds : kDefaultSeconds;
}

quint32 soakSeed()
{
    bool ok = false;
    const quint32 seed = quint32(qEnvironmentVariableIntValue("KLM704_SOAK_SEED", &ok));
    return ok ? seed : QRandomGenerator::global()->generate();
}

// Bytes the allocator has handed out and not got back, in every arena and in mapped blocks.
qint64 bytesInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return qint64(info.uordblks) + qint64(info.hblkhd);
}

// Lets the event loop run for a while. QTest::qWait would sleep between its passes and hold
// the driver back to a fraction of its pace.
void runEvents(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

bool sameReply(const VirtualMeter::SentReply &sent, const DmmData &reading)
{
    return sent.intact && sent.function == reading.entry()->functionCode() &&
           sent.range == reading.entry()->rangeCode() &&
           QLatin1String(sent.text) == reading.valueText();
}

// Holds the readings up against the replies the meter logged. In the strict mode each reading
// must be the next reply sent; otherwise it must be a later intact reply, and the intact ones
// passed over are counted as lost.
class Ledger
{
public:
    explicit Ledger(const VirtualMeter &meter)
        : m_meter(meter)
    {
    }

    // Starts counting afresh from the next reply the meter sends; the link must be closed.
    void startPhase(bool strict)
    {
        m_strict = strict;
        m_next = m_meter.repliesSent();
        m_lost = 0;
        m_mismatch.clear();
    }
    void take(const DmmData &reading)
    {
        ++m_readings;
        const QList<VirtualMeter::SentReply> log = m_meter.sentReplies();
        const qint64 firstLogged = m_meter.repliesSent() - log.size();
        qint64 passedOver = 0;
        for (qint64 index = qMax(m_next, firstLogged); index < m_meter.repliesSent(); ++index) {
            const VirtualMeter::SentReply &sent = log.at(int(index - firstLogged));
            if (sameReply(sent, reading)) {
                if (m_strict && index != m_next)
                    noteMismatch(reading);
                m_lost += passedOver;
                m_next = index + 1;
                return;
            }
            passedOver += sent.intact ? 1 : 0;
        }
        noteMismatch(reading);
    }
    // Replies sent that have not become readings yet.
    qint64 outstanding() const { return m_meter.repliesSent() - m_next; }
    qint64 readings() const { return m_readings; }
    qint64 lost() const { return m_lost; }
    QString mismatch() const { return m_mismatch; }

private:
    void noteMismatch(const DmmData &reading)
    {
        if (m_mismatch.isEmpty())
            m_mismatch = QStringLiteral("reading %1 \"%2\" is not the meter's reply %3")
                             .arg(m_readings)
                             .arg(reading.valueText())
                             .arg(m_next);
    }

    const VirtualMeter &m_meter;
    bool m_strict = true;
    qint64 m_next = 0;
    qint64 m_readings = 0;
    qint64 m_lost = 0;
    QString m_mismatch;
};

struct Figures
{
    qint64 repliesSent = 0;
    qint64 readings = 0;
    int reconnects = 0;
    int keys = 0;
    int noiseBursts = 0;
    int corrupted = 0;
    int dropped = 0;
    int unplugs = 0;
};

} // namespace

class TestSoak : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanLinkTurnsEveryReplyIntoOneReading();
    void faultyLinkDeliversOnlyWhatTheMeterSent();
    void memoryInUseReturnsToItsStartLevel();

private:
    void pressRandomKey(Figures &figures);
    void reconnect(Figures &figures, bool waitForReplies);
    void pullCable(Figures &figures);
    void injectRandomFault(Figures &figures);
    void closeAndSettle();
    void waitForProgress();
    Figures run(int milliseconds, bool faults);
    void report(const char *phase, const Figures &figures) const;

    quint32 m_seed = 0;
    int m_phaseMs = 0;
    QRandomGenerator m_random;
    std::unique_ptr<VirtualMeter> m_meter;
    std::unique_ptr<DeviceSelector> m_selector;
    std::unique_ptr<MyDmm> m_dmm;
    std::unique_ptr<Ledger> m_ledger;
    int m_closedSignals = 0;
    qint64 m_startBytes = 0;
};

void TestSoak::initTestCase()
{
    m_seed = soakSeed();
    m_phaseMs = soakSeconds() * 1000 / 2;
    qInfo("soak: seed %u (KLM704_SOAK_SEED), %d s per phase", m_seed, m_phaseMs / 1000);
    m_random.seed(m_seed);

    m_meter = std::make_unique<VirtualMeter>(m_seed);
    m_meter->setTimeScale(0);
    m_meter->setLogLimit(kLogEntries);
    m_selector = std::make_unique<DeviceSelector>();
    m_selector->setLinkFactory([this](const QString &, const LinkSettings &, QString *) {
        return new SimLink(m_meter.get());
    });
    m_dmm = std::make_unique<MyDmm>(m_selector.get());
    m_dmm->setSampleRate(0);
    CommandPoolThread::Timing timing;
    timing.replyWaitMs = 200;
    timing.restMs = 0;
    m_dmm->setThreadTiming(timing);
    m_ledger = std::make_unique<Ledger>(*m_meter);
    connect(m_dmm.get(), &Dmm::display, this, [this](const DmmData *data) {
        const std::unique_ptr<const DmmData> reading(data);
        m_ledger->take(*reading);
    });
    connect(m_dmm.get(), &Dmm::closed, this, [this] { ++m_closedSignals; });

    // One short round of everything first, so that what Qt and the allocator set up once
    // (thread data, time zone, logging, timers) is in place before the memory is measured.
    // The meter's log is filled up to its limit as well.
    Figures warmUp;
    m_ledger->startPhase(false);
    QVERIFY(m_dmm->open());
    pressRandomKey(warmUp);
    reconnect(warmUp, false);
    pullCable(warmUp);
    QTRY_VERIFY_WITH_TIMEOUT(m_meter->repliesSent() > kLogEntries, kProgressTimeoutMs);
    closeAndSettle();
    QCOMPARE(m_ledger->mismatch(), QString());
    m_startBytes = bytesInUse();
}

void TestSoak::waitForProgress()
{
    const qint64 before = m_ledger->readings();
    QTRY_VERIFY_WITH_TIMEOUT(m_ledger->readings() > before, kProgressTimeoutMs);
}

void TestSoak::pressRandomKey(Figures &figures)
{
    const auto &key = meterkeys::kNamedKeys.at(m_random.bounded(int(meterkeys::kNamedKeys.size())));
    m_dmm->sendKey(QByteArray(1, char(key.code)));
    ++figures.keys;
}

// On a clean line the link is closed only once every reply sent has arrived, since a close
// loses what is still on its way, as a real port does.
void TestSoak::reconnect(Figures &figures, bool waitForReplies)
{
    if (waitForReplies)
        QTRY_VERIFY_WITH_TIMEOUT(m_ledger->outstanding() == 0, kProgressTimeoutMs);
    const int closedBefore = m_closedSignals;
    m_dmm->close();
    QCOMPARE(m_closedSignals, closedBefore + 1);
    QVERIFY(!m_dmm->isOpen());
    QVERIFY(m_dmm->open());
    waitForProgress();
    ++figures.reconnects;
}

// A pulled cable closes the link by itself, with one closed signal, and the link cannot be
// opened until the cable is back.
void TestSoak::pullCable(Figures &figures)
{
    const int closedBefore = m_closedSignals;
    m_meter->unplug();
    QCOMPARE(m_closedSignals, closedBefore + 1);
    QVERIFY(!m_dmm->isOpen());
    runEvents(int(m_random.bounded(1, 50)));
    QVERIFY(!m_dmm->open());
    m_meter->plugIn();
    m_dmm->close();
    QVERIFY(m_dmm->open());
    waitForProgress();
    ++figures.unplugs;
}

void TestSoak::injectRandomFault(Figures &figures)
{
    switch (m_random.bounded(4)) {
    case 0:
        m_meter->injectNoise(int(m_random.bounded(1, 64)));
        ++figures.noiseBursts;
        break;
    case 1: {
        const int count = int(m_random.bounded(1, 4));
        m_meter->corruptNextReplies(count);
        figures.corrupted += count;
        break;
    }
    case 2: {
        const int count = int(m_random.bounded(1, 4));
        m_meter->dropNextReplies(count);
        figures.dropped += count;
        break;
    }
    default:
        pullCable(figures);
    }
}

void TestSoak::closeAndSettle()
{
    m_dmm->close();
    // Threads of stops that timed out go with their deferred deletion.
    QTest::qWait(50);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

Figures TestSoak::run(int milliseconds, bool faults)
{
    Figures figures;
    const qint64 sentBefore = m_meter->repliesSent();
    const qint64 readingsBefore = m_ledger->readings();
    [&] {
        QVERIFY(m_dmm->open());
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < milliseconds && !QTest::currentTestFailed()) {
            const quint32 dice = m_random.bounded(100);
            if (dice < 70)
                runEvents(int(m_random.bounded(1, 10)));
            else if (dice < 88)
                pressRandomKey(figures);
            else if (dice < 94)
                reconnect(figures, !faults);
            else if (faults)
                injectRandomFault(figures);
        }
        QTRY_VERIFY_WITH_TIMEOUT(m_ledger->outstanding() == 0 || faults, kProgressTimeoutMs);
    }();
    closeAndSettle();
    figures.repliesSent = m_meter->repliesSent() - sentBefore;
    figures.readings = m_ledger->readings() - readingsBefore;
    return figures;
}

void TestSoak::report(const char *phase, const Figures &figures) const
{
    qInfo("soak %s: %lld replies sent, %lld readings received, %lld lost; %d reconnects, %d keys;"
          " faults: %d noise bursts, %d spoiled checksums, %d unanswered commands, %d unplugs",
          phase, figures.repliesSent, figures.readings, m_ledger->lost(), figures.reconnects,
          figures.keys, figures.noiseBursts, figures.corrupted, figures.dropped, figures.unplugs);
}

void TestSoak::cleanLinkTurnsEveryReplyIntoOneReading()
{
    m_ledger->startPhase(true);
    const Figures figures = run(m_phaseMs, false);
    report("clean line", figures);
    QCOMPARE(m_ledger->mismatch(), QString());
    QCOMPARE(figures.readings, figures.repliesSent);
    QCOMPARE(m_ledger->lost(), 0);
    QVERIFY(figures.readings > 0);
}

// Replies lost here are the ones on their way when the link closed or the cable was pulled: at
// most the one answering the current command and one answering a command the previous
// connection's worker handed out just before it stopped.
void TestSoak::faultyLinkDeliversOnlyWhatTheMeterSent()
{
    m_ledger->startPhase(false);
    const Figures figures = run(m_phaseMs, true);
    report("faulty line", figures);
    QCOMPARE(m_ledger->mismatch(), QString());
    QVERIFY(figures.readings > 0);
    QVERIFY(figures.noiseBursts > 0 && figures.corrupted > 0 && figures.unplugs > 0);
    const qint64 lost = m_ledger->lost();
    QVERIFY2(lost <= 2 * (figures.reconnects + figures.unplugs + 1),
             qPrintable(QStringLiteral("%1 replies lost").arg(lost)));
}

// Every reading, thread and link of the run is gone again. The tolerance covers what Qt keeps
// and may still grow during the run (the posted-event queue, the timer id pool, the meter's
// connection lists), a few kilobytes in practice; a leak of one byte per reading or of a few
// bytes per reconnect would exceed it.
void TestSoak::memoryInUseReturnsToItsStartLevel()
{
    closeAndSettle();
    const qint64 endBytes = bytesInUse();
    constexpr qint64 kToleranceBytes = 64 * 1024;
    qInfo("soak memory: %lld bytes in use at the start, %lld at the end (%+lld)", m_startBytes,
          endBytes, endBytes - m_startBytes);
    QVERIFY2(endBytes - m_startBytes <= kToleranceBytes,
             qPrintable(QStringLiteral("%1 bytes more in use").arg(endBytes - m_startBytes)));
}

int main(int argc, char **argv)
{
    // The allocator's per-thread caches hold freed blocks that it still counts as in use, more
    // of them with every thread started; without them the figure is the program's own. The
    // settings take effect only at start, hence the fresh start.
    const QByteArray tunables = qgetenv("GLIBC_TUNABLES");
    if (!tunables.contains(kNoThreadCaches)) {
        qputenv("GLIBC_TUNABLES", tunables + (tunables.isEmpty() ? "" : ":") + kNoThreadCaches);
        execv("/proc/self/exe", argv);
    }
    // A phase runs for half the soak time, which may be longer than the test runner's watchdog
    // allows one test function by default.
    if (!qEnvironmentVariableIsSet("QTEST_FUNCTION_TIMEOUT"))
        qputenv("QTEST_FUNCTION_TIMEOUT", QByteArray::number((soakSeconds() / 2 + 300) * 1000));
    QCoreApplication app(argc, argv);
    TestSoak test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_soak.moc"
