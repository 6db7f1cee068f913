// Soak test: the driver on the virtual meter at SampleRate 0, with random keys, reconnects and
// (in the faulty phase) line faults. KLM704_SOAK_SECONDS sets the time (120 s by default),
// KLM704_SOAK_SEED the random seed.

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

constexpr int kLogEntries = 256; // the meter's log reaches back over the replies on their way
constexpr int kProgressTimeoutMs = 20000; // longer without progress counts as a hang
constexpr char kNoThreadCaches[] = "glibc.malloc.tcache_count=0:glibc.malloc.arena_max=1";

int soakSeconds()
{
    const int seconds = qEnvironmentVariableIntValue("KLM704_SOAK_SECONDS");
    return seconds > 0 ? seconds : 120;
}

// Bytes the allocator has handed out and not got back, in every arena and in mapped blocks.
qint64 bytesInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return qint64(info.uordblks) + qint64(info.hblkhd);
}

// QTest::qWait would sleep between its passes and hold the driver back.
void runEvents(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// Holds the readings up against the replies the meter logged. Strict: each reading must be the
// next reply sent; otherwise a later intact one, and the intact ones passed over count as lost.
struct Ledger
{
    // Counts afresh from the next reply the meter sends; the link must be closed.
    void startPhase(bool strictly)
    {
        strict = strictly;
        next = meter.repliesSent();
        lost = 0;
        mismatch.clear();
    }
    void take(const DmmData &reading)
    {
        ++readings;
        const QList<VirtualMeter::SentReply> log = meter.sentReplies();
        const qint64 firstLogged = meter.repliesSent() - log.size();
        qint64 passedOver = 0;
        for (qint64 index = qMax(next, firstLogged); index < meter.repliesSent(); ++index) {
            const VirtualMeter::SentReply &sent = log.at(int(index - firstLogged));
            if (sent.intact && sent.function == reading.entry()->functionCode() &&
                sent.range == reading.entry()->rangeCode() &&
                QLatin1String(sent.text) == reading.valueText()) {
                if (!strict || index == next) {
                    lost += passedOver;
                    next = index + 1;
                    return;
                }
                break;
            }
            passedOver += sent.intact ? 1 : 0;
        }
        if (mismatch.isEmpty())
            mismatch = QStringLiteral("\"%1\" is not reply %2").arg(reading.valueText()).arg(next);
    }
    // Replies sent that have not become readings yet.
    qint64 outstanding() const { return meter.repliesSent() - next; }

    const VirtualMeter &meter;
    bool strict = true;
    qint64 next = 0, readings = 0, lost = 0;
    QString mismatch;
};

struct Figures
{
    qint64 repliesSent = 0, readings = 0;
    int reconnects = 0, keys = 0, noiseBursts = 0, corrupted = 0, dropped = 0, unplugs = 0;
};

} // namespace

class TestSoak : public QObject
{
    Q_OBJECT
private:
    QRandomGenerator m_random;
    std::unique_ptr<VirtualMeter> m_meter;
    DeviceSelector m_selector;
    std::unique_ptr<MyDmm> m_dmm;
    std::unique_ptr<Ledger> m_ledger;
    Figures m_figures;
    int m_closedSignals = 0;
    qint64 m_startBytes = 0;

    void pressRandomKey()
    {
        const auto &key =
            meterkeys::kNamedKeys.at(m_random.bounded(int(meterkeys::kNamedKeys.size())));
        m_dmm->sendKey(QByteArray(1, char(key.code)));
        ++m_figures.keys;
    }

    // Each close, asked for or by a pulled cable, gives one closed signal; a link without its cable
    // cannot be opened. On a clean line a close waits for the replies on their way, which it would
    // lose as a real port does.
    void reconnect(bool pullCable, bool waitForReplies = false)
    {
        if (waitForReplies)
            QTRY_VERIFY_WITH_TIMEOUT(m_ledger->outstanding() == 0, kProgressTimeoutMs);
        const int closedBefore = m_closedSignals;
        if (pullCable)
            m_meter->unplug();
        else
            m_dmm->close();
        QCOMPARE(m_closedSignals, closedBefore + 1);
        QVERIFY(!m_dmm->isOpen());
        if (pullCable) {
            runEvents(int(m_random.bounded(1, 50)));
            QVERIFY(!m_dmm->open());
            m_meter->plugIn();
            m_dmm->close();
        }
        QVERIFY(m_dmm->open());
        const qint64 before = m_ledger->readings;
        QTRY_VERIFY_WITH_TIMEOUT(m_ledger->readings > before, kProgressTimeoutMs);
        ++(pullCable ? m_figures.unplugs : m_figures.reconnects);
    }

    void injectRandomFault()
    {
        const int kind = int(m_random.bounded(4)), count = int(m_random.bounded(1, 4));
        if (kind == 3)
            return reconnect(true);
        kind == 0
            ? m_meter->injectNoise(int(m_random.bounded(1, 64)))
            : (kind == 1 ? m_meter->corruptNextReplies(count) : m_meter->dropNextReplies(count));
        (kind == 0   ? m_figures.noiseBursts
         : kind == 1 ? m_figures.corrupted
                     : m_figures.dropped) += kind == 0 ? 1 : count;
    }

    void closeAndSettle()
    {
        m_dmm->close();
        QTest::qWait(50); // threads of stops that timed out go with their deferred deletion
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Runs one phase for half the soak time and prints its figures.
    Figures run(bool faults)
    {
        m_ledger->startPhase(!faults);
        Figures &figures = m_figures = Figures();
        const qint64 sentBefore = m_meter->repliesSent();
        const qint64 readingsBefore = m_ledger->readings;
        [&] {
            QVERIFY(m_dmm->open());
            QElapsedTimer clock;
            clock.start();
            while (clock.elapsed() < soakSeconds() * 500 && !QTest::currentTestFailed()) {
                const quint32 dice = m_random.bounded(100);
                if (dice < 70)
                    runEvents(int(m_random.bounded(1, 10)));
                else if (dice < 88)
                    pressRandomKey();
                else if (dice < 94)
                    reconnect(false, !faults);
                else if (faults)
                    injectRandomFault();
            }
            QTRY_VERIFY_WITH_TIMEOUT(m_ledger->outstanding() == 0 || faults, kProgressTimeoutMs);
        }();
        closeAndSettle();
        figures.repliesSent = m_meter->repliesSent() - sentBefore;
        figures.readings = m_ledger->readings - readingsBefore;
        qInfo("soak %s line: %lld replies sent, %lld readings received, %lld lost; %d reconnects, "
              "%d keys; faults: %d noise bursts, %d spoilt checksums, %d unanswered commands, "
              "%d unplugs",
              faults ? "faulty" : "clean", figures.repliesSent, figures.readings, m_ledger->lost,
              figures.reconnects, figures.keys, figures.noiseBursts, figures.corrupted,
              figures.dropped, figures.unplugs);
        return figures;
    }

private slots:
    void initTestCase()
    {
        bool seeded = false;
        quint32 seed = quint32(qEnvironmentVariableIntValue("KLM704_SOAK_SEED", &seeded));
        seed = seeded ? seed : QRandomGenerator::global()->generate();
        qInfo("soak: seed %u (KLM704_SOAK_SEED), %d s per phase", seed, soakSeconds() / 2);
        m_random.seed(seed);
        m_meter = std::make_unique<VirtualMeter>(seed);
        m_meter->setTimeScale(0);
        m_meter->setLogLimit(kLogEntries);
        m_selector.setLinkFactory([this](const QString &, const LinkSettings &, QString *) {
            return new SimLink(m_meter.get());
        });
        m_dmm = std::make_unique<MyDmm>(&m_selector);
        m_dmm->setSampleRate(0);
        m_dmm->setThreadTiming({200, 3, 0, 3000});
        m_ledger = std::make_unique<Ledger>(Ledger{*m_meter, true, 0, 0, 0, {}});
        connect(m_dmm.get(), &Dmm::display, this, [this](const DmmData *data) {
            m_ledger->take(*std::unique_ptr<const DmmData>(data));
        });
        connect(m_dmm.get(), &Dmm::closed, this, [this] { ++m_closedSignals; });

        // One round of everything first: what Qt and the allocator set up once, and the meter's
        // full log, are in place before the memory is measured.
        m_ledger->startPhase(false);
        QVERIFY(m_dmm->open());
        pressRandomKey();
        reconnect(false);
        reconnect(true);
        QTRY_VERIFY_WITH_TIMEOUT(m_meter->repliesSent() > kLogEntries, kProgressTimeoutMs);
        closeAndSettle();
        QCOMPARE(m_ledger->mismatch, QString());
        m_startBytes = bytesInUse();
    }

    void cleanLinkTurnsEveryReplyIntoOneReading()
    {
        const Figures figures = run(false);
        QCOMPARE(m_ledger->mismatch, QString());
        QCOMPARE(figures.readings, figures.repliesSent);
        QCOMPARE(m_ledger->lost, 0);
        QVERIFY(figures.readings > 0);
    }

    // Lost: replies on their way when the link closed or the cable was pulled, at most one for the
    // current command and one for a command the previous worker handed out as it stopped.
    void faultyLinkDeliversOnlyWhatTheMeterSent()
    {
        const Figures figures = run(true);
        QCOMPARE(m_ledger->mismatch, QString());
        QVERIFY(figures.readings > 0);
        QVERIFY(figures.noiseBursts > 0 && figures.corrupted > 0 && figures.unplugs > 0);
        QVERIFY2(m_ledger->lost <= 2 * (figures.reconnects + figures.unplugs + 1),
                 qPrintable(QStringLiteral("%1 replies lost").arg(m_ledger->lost)));
    }

    // The tolerance covers what Qt keeps and may grow (posted events, timer ids, connection lists);
    // a leak of a byte per reading or a few bytes per reconnect exceeds it.
    void memoryInUseReturnsToItsStartLevel()
    {
        closeAndSettle();
        const qint64 growth = bytesInUse() - m_startBytes;
        qInfo("soak memory: %lld bytes in use at the start, %lld at the end (%+lld)", m_startBytes,
              m_startBytes + growth, growth);
        QVERIFY2(growth <= 64 * 1024,
                 qPrintable(QStringLiteral("%1 bytes more in use").arg(growth)));
    }
};

int main(int argc, char **argv)
{
    // Per-thread allocator caches count freed blocks as in use; the setting needs a fresh start.
    const QByteArray tunables = qgetenv("GLIBC_TUNABLES");
    if (!tunables.contains(kNoThreadCaches)) {
        qputenv("GLIBC_TUNABLES", tunables + (tunables.isEmpty() ? "" : ":") + kNoThreadCaches);
        execv("/proc/self/exe", argv);
    }
    // A phase may run longer than the test runner's watchdog allows one test function.
    if (!qEnvironmentVariableIsSet("QTEST_FUNCTION_TIMEOUT"))
        qputenv("QTEST_FUNCTION_TIMEOUT", QByteArray::number((soakSeconds() / 2 + 300) * 1000));
    QCoreApplication app(argc, argv);
    TestSoak test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_soak.moc"
