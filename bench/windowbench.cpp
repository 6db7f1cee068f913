#include "bench/windowbench.h"

#include "app/resourcebundle.h"
#include "app/widget.h"
#include "bench/bench.h"
#include "bench/driftingvoltage.h"
#include "meter/functionentry.h"
#include "meter/mydmm.h"
#include "record/csvformat.h"
#include "record/datamodel.h"
#include "record/journal.h"
#include "session/journalkeeper.h"
#include "tests/recordsamples.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <vector>

namespace {

constexpr int kTimedReadings = 1000;
// Fresh windows the memory figure is measured in.
constexpr int kMemoryRuns = 3;
// Readings recorded in one turn of the event loop while the long recording is filled.
constexpr int kFillBatch = 1000;
const QSize kWindowSize(1000, 600);

using Clock = std::chrono::steady_clock;

double microseconds(Clock::duration elapsed)
{
    return std::chrono::duration<double, std::micro>(elapsed).count();
}

double median(std::vector<double> samples)
{
    const auto middle = samples.begin() + samples.size() / 2;
    std::nth_element(samples.begin(), middle, samples.end());
    return *middle;
}

// A main window shown at a working size, its settings kept out of the build folder, taking every
// reading into the record table; with a journal folder, it keeps its journal there.
class BenchWindow
{
public:
    explicit BenchWindow(const QString &journalDirectory = QString())
        : m_window(makeBenchWindow(m_settingsDir.path()))
    {
        if (!journalDirectory.isEmpty())
            m_window->useJournal(journalDirectory);
        m_window->resize(kWindowSize);
        m_window->show();
        QApplication::processEvents();
    }

    Widget &window() { return *m_window; }
    int rows() const { return m_window->recordModel()->rowCount(); }

    // Hands count readings to step, which delivers them: a drifting DC voltage, eight readings
    // a second, every annunciator clear, filled as the decoder fills them.
    template<typename Step> void record(int count, Step step)
    {
        const FunctionEntry *row = findEntry(m_window->driver()->activeTable(), 2, 0x31);
        for (int i = 0; i < count; ++i, ++m_delivered) {
            const double value = m_voltage.next();
            const QByteArray text = QByteArray::number(value, 'f', 3).rightJustified(6) + ' ';
            const QDateTime time = QDateTime::fromMSecsSinceEpoch(m_start + 125 * m_delivered);
            step(recordsamples::makeReading(row, {text.constData(), value, 0}, 0, time));
        }
    }

    void deliver(DmmData *reading) { emit m_window->driver()->display(reading); }

private:
    QTemporaryDir m_settingsDir;
    std::unique_ptr<Widget> m_window;
    const qint64 m_start = QDateTime(QDate(2026, 12, 6), QTime(8, 0)).toMSecsSinceEpoch();
    qint64 m_delivered = 0;
    DriftingVoltage m_voltage;
};

// Runs work as the event loop runs the driver's handling of received bytes: inside an event,
// so that whatever the window leaves for the loop (layouts, paints, objects deleted later) is
// done when control returns to it.
template<typename Work> void runInEventLoop(Work work)
{
    QEventLoop loop;
    QTimer::singleShot(0, &loop, [&] {
        work();
        loop.quit();
    });
    loop.exec();
}

struct StepTimes
{
    std::vector<double> step;        // the recording step alone, in microseconds
    std::vector<double> withRepaint; // the step and the repaint it asks for
};

// Delivers readings one by one, each followed by the turn of the event loop that lays out and
// paints what the step changed.
StepTimes timeSteps(BenchWindow &rig, int count)
{
    StepTimes times;
    times.step.reserve(count);
    times.withRepaint.reserve(count);
    rig.record(count, [&](DmmData *reading) {
        runInEventLoop([&] {
            const auto start = Clock::now();
            rig.deliver(reading);
            const auto stepped = Clock::now();
            QApplication::processEvents();
            const auto painted = Clock::now();
            times.step.push_back(microseconds(stepped - start));
            times.withRepaint.push_back(microseconds(painted - start));
        });
    });
    return times;
}

// Records count readings in batches, as a live window would take them if they came faster than
// it paints.
void fill(BenchWindow &rig, int count)
{
    while (count > 0) {
        const int batch = qMin(count, kFillBatch);
        runInEventLoop([&] { rig.record(batch, [&](DmmData *reading) { rig.deliver(reading); }); });
        count -= batch;
    }
    runInEventLoop([] { QApplication::processEvents(); });
}

// Puts count readings straight into the window's table, as a long recording leaves it: the rows,
// the chart that draws them and the table view that shows them, without the panel, statistics
// and status updates of each step. The steps timed afterwards go the whole way, the first of
// them redrawing the chart over every row.
void fillTable(BenchWindow &rig, int count)
{
    DataModel *model = rig.window().recordModel();
    rig.record(count, [model](DmmData *reading) { model->appendRecord(reading); });
}

// One reading through the step and the repaint it asks for.
void stepOnce(BenchWindow &rig)
{
    rig.record(1, [&rig](DmmData *reading) {
        runInEventLoop([&] {
            rig.deliver(reading);
            QApplication::processEvents();
        });
    });
}

void reportSteps(Bench &bench, const QString &suffix, const StepTimes &times)
{
    bench.report("record_step_us_" + suffix, median(times.withRepaint), QStringLiteral("us"));
    bench.report("record_step_no_repaint_us_" + suffix, median(times.step), QStringLiteral("us"));
}

// Writing the table's last rows to a journal, as the window does for each recorded reading:
// the row's fields and one complete line handed to the system.
void benchJournalAppend(Bench &bench, const DataModel &model)
{
    QTemporaryDir dir;
    Journal journal(dir.path());
    if (!journal.start(csvHeaderFields(&model))) {
        bench.report(QStringLiteral("journal_append_us"), -1, QStringLiteral("us"));
        return;
    }
    std::vector<double> times;
    times.reserve(kTimedReadings);
    const int first = model.rowCount() - kTimedReadings;
    for (int row = first; row < model.rowCount(); ++row) {
        const auto start = Clock::now();
        journal.append(csvRowFields(&model, row));
        times.push_back(microseconds(Clock::now() - start));
    }
    bench.report(QStringLiteral("journal_append_us"), median(times), QStringLiteral("us"));
}

void checkRows(BenchWindow &rig, int expected)
{
    if (rig.rows() != expected)
        qWarning("The table holds %d rows instead of %d", rig.rows(), expected);
}

// The step with 1k rows and with the bench's scale of rows behind it, and the heap the rows
// between take per reading in the window (table, chart, view and figures together), in fresh
// windows: counted exactly, the runs agree.
void benchWithoutJournal(Bench &bench)
{
    const QString n = Bench::countName(bench.scale());
    std::vector<double> perReading;
    for (int run = 0; run < kMemoryRuns; ++run) {
        BenchWindow rig;
        fill(rig, kTimedReadings);
        // The same step with a short recording behind it tells whether its cost grows with the
        // recording.
        if (run == 0)
            reportSteps(bench, QStringLiteral("1k"), timeSteps(rig, kTimedReadings));
        const int rowsBefore = rig.rows();
        const qint64 before = Bench::heapBytes();
        fillTable(rig, bench.scale() - rowsBefore - 1);
        stepOnce(rig);
        perReading.push_back(double(Bench::heapBytes() - before) / (rig.rows() - rowsBefore));
        checkRows(rig, bench.scale());
        if (run + 1 == kMemoryRuns)
            reportSteps(bench, n, timeSteps(rig, kTimedReadings));
    }
    const auto [least, most] = std::minmax_element(perReading.begin(), perReading.end());
    bench.report("bytes_per_reading_" + n, median(perReading), QStringLiteral("bytes"));
    bench.report("bytes_per_reading_spread_pct_" + n, 100 * (*most - *least) / *least,
                 QStringLiteral("%"));
}

// The step with the bench's scale of rows behind it in a window that journals every recorded
// reading, and the journal's share of it.
void benchWithJournal(Bench &bench)
{
    QTemporaryDir journals;
    BenchWindow rig(journals.path());
    fill(rig, kTimedReadings);
    fillTable(rig, bench.scale() - rig.rows());
    checkRows(rig, bench.scale());
    const JournalKeeper *journal = rig.window().recordingJournal();
    if (!journal || !journal->isActive())
        qWarning("The window keeps no journal");
    reportSteps(bench, Bench::countName(bench.scale()) + "_journal",
                timeSteps(rig, kTimedReadings));
    benchJournalAppend(bench, *rig.window().recordModel());
}

} // namespace

std::unique_ptr<Widget> makeBenchWindow(const QString &folder)
{
    const QString settings = QDir(folder).filePath(QStringLiteral("options.xml"));
    qputenv("KLM704_SETTINGS_FILE", settings.toUtf8());
    QFile file(settings);
    if (file.open(QIODevice::WriteOnly))
        file.write("<options><LowLimit>4.7</LowLimit><HighLimit>5.3</HighLimit></options>");
    file.close();
    registerResources();
    auto window = std::make_unique<Widget>();
    window->driver()->setInfinite(true);
    window->driver()->setSkipRepeat(false);
    return window;
}

void benchRecordStepWithMqtt(Bench &bench, const QString &url)
{
    constexpr int kRounds = 3;
    BenchWindow rig;
    fill(rig, kTimedReadings);
    StepTimes without;
    StepTimes with;
    for (int round = 0; round < kRounds; ++round) {
        for (const bool publishing : {false, true}) {
            rig.window().setMqttBroker(publishing ? url : QString(), QStringLiteral("bench"));
            // Time to connect; readings handed over before would wait in the queue all the same.
            runInEventLoop([] { QThread::msleep(200); });
            StepTimes &times = publishing ? with : without;
            const StepTimes round = timeSteps(rig, kTimedReadings);
            times.step.insert(times.step.end(), round.step.begin(), round.step.end());
        }
        // The table is kept at about the same length for every round.
        rig.window().recordModel()->clearRecords();
        fill(rig, kTimedReadings);
    }
    rig.window().setMqttBroker(QString(), QString());
    bench.report(QStringLiteral("record_step_no_repaint_us_1k_without_mqtt"), median(without.step),
                 QStringLiteral("us"));
    bench.report(QStringLiteral("record_step_no_repaint_us_1k_mqtt"), median(with.step),
                 QStringLiteral("us"));
}

void runWindowBenchmarks(Bench &bench)
{
    benchWithoutJournal(bench);
    benchWithJournal(bench);
}

void runRecordStepAndMemory(Bench &bench)
{
    benchWithoutJournal(bench);
}
