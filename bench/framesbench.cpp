#include "bench/framesbench.h"

#include "app/widget.h"
#include "bench/bench.h"
#include "bench/driftingvoltage.h"
#include "bench/windowbench.h"
#include "meter/dmmdata.h"
#include "meter/functionentry.h"
#include "meter/mydmm.h"
#include "record/columnspec.h"
#include "record/datamodel.h"
#include "record/dmmchart.h"
#include "record/limitalarm.h"
#include "record/recordingimport.h"
#include "tests/recordsamples.h"

#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPrintPreviewDialog>
#include <QProgressDialog>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <chrono>
#include <ctime>
#include <functional>
#include <memory>

namespace {

using Clock = std::chrono::steady_clock;

const QSize kWindowSize(1000, 600);
// A gap between two turns of the loop longer than this is work; a loop that turns faster for
// kIdleMs has finished what the action left for it.
constexpr double kBusyGapMs = 2;
constexpr double kIdleMs = 100;
// An action that has not finished by then is reported as a failure rather than waited for.
constexpr double kGiveUpMs = 600000;
// How often the answering machine looks for a dialog.
constexpr int kAnswerPollMs = 10;

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Processor time the calling thread has run, in milliseconds.
double threadMilliseconds()
{
    timespec used{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &used);
    return double(used.tv_sec) * 1e3 + double(used.tv_nsec) / 1e6;
}

// The longest time the GUI thread goes without coming back to its event loop. A 0 ms timer
// fires on every turn of the loop once the events before it are handled (the loop runs timers
// when nothing else waits), so the gap between two of its firings is what the thread spent on
// everything else in between: paints, input, the action's own work, whatever a nested loop of a
// modal dialog did. It never reports less than the real stall, only, when many short events come
// one after another without a turn for the timers, more.
class StallMeter
{
public:
    StallMeter()
    {
        m_timer.setInterval(0);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
    }

    // Runs action from the event loop and turns the loop until the action has returned, ended
    // says that what it started (on a thread, say) has ended, and the loop has stood idle for a
    // while; returns the longest stall, -1 when the action never ended.
    double measure(
        const std::function<void()> &action,
        const std::function<bool()> &ended = [] { return true; })
    {
        m_longest = 0;
        m_longestRun = 0;
        m_lastRun = threadMilliseconds();
        m_done = false;
        m_ended = ended;
        m_last = Clock::now();
        m_lastBusy = m_last;
        m_start = m_last;
        m_endedAt = Clock::time_point();
        QEventLoop loop;
        m_loop = &loop;
        m_timer.start();
        QTimer::singleShot(0, [&] {
            action();
            m_done = true;
        });
        loop.exec();
        m_timer.stop();
        m_loop = nullptr;
        return m_endedAt != Clock::time_point() ? m_longest : -1;
    }

    // The most processor time the thread spent between two turns of the loop in the last
    // measured action: the stall without the time other processes took the processor away.
    double longestRunMs() const { return m_longestRun; }

    // When the last measured action was seen to have ended.
    Clock::time_point endedAt() const { return m_endedAt; }

    // Milliseconds from the start of the last measured action until the loop was last busy:
    // how long its effect took to show in full.
    double busyMs() const
    {
        return std::chrono::duration<double, std::milli>(m_lastBusy - m_start).count();
    }

private:
    void tick()
    {
        const Clock::time_point now = Clock::now();
        const double gap = std::chrono::duration<double, std::milli>(now - m_last).count();
        m_last = now;
        m_longest = qMax(m_longest, gap);
        const double run = threadMilliseconds();
        m_longestRun = qMax(m_longestRun, run - m_lastRun);
        m_lastRun = run;
        if (gap > kBusyGapMs)
            m_lastBusy = now;
        if (m_done && m_endedAt == Clock::time_point() && m_ended())
            m_endedAt = now;
        const double idle = std::chrono::duration<double, std::milli>(now - m_lastBusy).count();
        const bool settled = m_endedAt != Clock::time_point() && idle > kIdleMs;
        if (m_loop && (settled || millisecondsSince(m_start) > kGiveUpMs))
            m_loop->quit();
    }

    QTimer m_timer;
    QEventLoop *m_loop = nullptr;
    Clock::time_point m_start;
    Clock::time_point m_last;
    Clock::time_point m_lastBusy;
    double m_longest = 0;
    double m_lastRun = 0;
    double m_longestRun = 0;
    bool m_done = false;
    std::function<bool()> m_ended;
    Clock::time_point m_endedAt;
};

// Answers the window's dialogs in the user's place while it lives: message boxes with answer, a
// print preview by closing it once it has its pages, and, when cancelAfterMs is set, the Cancel
// of the progress dialog that long after the answerer was made (whether the dialog has appeared
// yet or not: a cancel at any moment must work).
class Answerer
{
public:
    explicit Answerer(QMessageBox::StandardButton answer, double cancelAfterMs = -1)
        : m_answer(answer)
        , m_cancelAfterMs(cancelAfterMs)
        , m_start(Clock::now())
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { look(); });
        m_timer.start(kAnswerPollMs);
    }

    // When Cancel was pressed; a default time point when it was not.
    Clock::time_point cancelledAt() const { return m_cancelledAt; }
    bool cancelled() const { return m_cancelled; }
    int boxesAnswered() const { return m_boxes; }
    // The progress dialog of an action under way, shown or not yet shown; null when none is.
    static QProgressDialog *progress()
    {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *dialog = qobject_cast<QProgressDialog *>(widget))
                return dialog;
            if (auto *dialog = widget->findChild<QProgressDialog *>())
                return dialog;
        }
        return nullptr;
    }

private:
    void look()
    {
        QWidget *modal = QApplication::activeModalWidget();
        QProgressDialog *dialog = progress();
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            ++m_boxes;
            if (QAbstractButton *button = box->button(m_answer))
                button->click();
            else
                box->done(m_answer);
        } else if (dialog && m_cancelAfterMs >= 0 && !m_cancelled &&
                   millisecondsSince(m_start) >= m_cancelAfterMs) {
            // Its Cancel button, as the user presses it.
            m_cancelled = true;
            m_cancelledAt = Clock::now();
            if (auto *button = dialog->findChild<QPushButton *>())
                button->click();
        } else if (auto *preview = qobject_cast<QPrintPreviewDialog *>(modal); preview && !dialog) {
            preview->reject();
        }
    }

    QTimer m_timer;
    QMessageBox::StandardButton m_answer;
    double m_cancelAfterMs;
    Clock::time_point m_start;
    bool m_cancelled = false;
    Clock::time_point m_cancelledAt;
    int m_boxes = 0;
};

// A main window of the default layout, its settings in a folder of its own, with limits inside
// the readings' swing, and the objects the actions are driven through, found by name.
class FramesWindow
{
public:
    FramesWindow()
        : m_window(makeBenchWindow(m_dir.path()))
    {
        m_window->setSaveNameAsker([this](QWidget *, const QString &, const QString &,
                                          const QString &) { return m_fileName; });
        m_window->setOpenNameAsker([this](QWidget *, const QString &, const QString &,
                                          const QString &) { return m_fileName; });
        m_window->resize(kWindowSize);
        m_window->show();
        m_chart = m_window->findChild<DMMChart *>(QStringLiteral("chart"));
        m_table = m_window->findChild<QTableView *>(QStringLiteral("tv"));
        QApplication::processEvents();
    }

    Widget &window() { return *m_window; }
    DMMChart &chart() { return *m_chart; }
    QTableView &table() { return *m_table; }
    DataModel &model() { return *qobject_cast<DataModel *>(m_table->model()); }
    QAction *action(const char *name)
    {
        return m_window->findChild<QAction *>(QString::fromLatin1(name));
    }
    // The file the next file dialog answers with.
    void setFileName(const QString &name) { m_fileName = name; }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }

    // count DC volt readings of a drifting voltage, eight a second: the first and the last
    // through the recording step (the first starts the recording, the last draws them all), the
    // others put straight into the table as a long recording leaves it.
    void fill(int count)
    {
        const FunctionEntry *row = findEntry(m_window->driver()->activeTable(), 2, 0x31);
        std::unique_ptr<DmmData> reading(
            recordsamples::makeReading(row, {" 5.000 ", 5, 0}, 0, QDateTime()));
        deliver(5.0, 2, 0x31);
        DataModel &records = model();
        for (int i = 2; i < count; ++i) {
            const double value = m_voltage.next();
            reading->setValue(value);
            reading->setValueText(QString::number(value, 'f', 3).rightJustified(6) + ' ');
            records.appendReading(*reading, nextTime());
        }
        deliver(5.0, 2, 0x31);
    }

    // One reading of the function and range code through the driver's signal.
    void deliver(double value, int function, int range)
    {
        const FunctionEntry *row = findEntry(m_window->driver()->activeTable(), function, range);
        const QByteArray text = QByteArray::number(value, 'f', 3).rightJustified(6) + ' ';
        emit m_window->driver()->display(recordsamples::makeReading(
            row, {text.constData(), value, 0}, 0, QDateTime::fromMSecsSinceEpoch(nextTime())));
    }

private:
    qint64 nextTime() { return m_start + 125 * m_delivered++; }

    QTemporaryDir m_dir;
    std::unique_ptr<Widget> m_window;
    DMMChart *m_chart = nullptr;
    QTableView *m_table = nullptr;
    QString m_fileName;
    DriftingVoltage m_voltage;
    const qint64 m_start = QDateTime(QDate(2026, 12, 6), QTime(8, 0)).toMSecsSinceEpoch();
    qint64 m_delivered = 0;
};

void sendMouse(QWidget &widget, QEvent::Type type, const QPoint &at, Qt::MouseButtons buttons)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, at, widget.mapToGlobal(at), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

void sendKey(QWidget &widget, int key, Qt::KeyboardModifiers modifiers)
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(&widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers);
    QApplication::sendEvent(&widget, &release);
}

// Runs the actions on one window and prints their figures for its size.
class FramesRun
{
public:
    FramesRun(Bench &bench, int readings)
        : m_bench(bench)
        , m_readings(readings)
        , m_n(Bench::countName(readings))
    {
    }
    ~FramesRun() { qDeleteAll(m_columns); }
    FramesRun(const FramesRun &) = delete;
    FramesRun &operator=(const FramesRun &) = delete;

    void run()
    {
        m_rig.fill(m_readings);
        settle();
        chartActions();
        tableActions();
        outputActions();
        clearingActions();
        importActions();
    }

private:
    void report(const QString &action, double stall)
    {
        m_bench.report(QStringLiteral("max_stall_ms_%1_%2").arg(action, m_n), stall,
                       QStringLiteral("ms"));
    }

    // The stall of an action, and how long after its start the window was busy with it.
    void measure(
        const QString &action, const std::function<void()> &work,
        const std::function<bool()> &ended = [] { return true; })
    {
        report(action, m_meter.measure(work, ended));
        m_bench.report(QStringLiteral("max_stall_cpu_ms_%1_%2").arg(action, m_n),
                       m_meter.longestRunMs(), QStringLiteral("ms"));
        m_bench.report(QStringLiteral("busy_ms_%1_%2").arg(action, m_n), m_meter.busyMs(),
                       QStringLiteral("ms"));
    }

    void settle()
    {
        m_meter.measure([] {});
    }

    void chartActions()
    {
        DMMChart &chart = m_rig.chart();
        const QRect plot = chart.plotArea();
        measure(QStringLiteral("hover"), [&] {
            for (int step = 0; step <= 20; ++step) {
                sendMouse(chart, QEvent::MouseMove,
                          QPoint(plot.left() + plot.width() * step / 20, plot.center().y()),
                          Qt::NoButton);
                QApplication::processEvents();
            }
        });
        measure(QStringLiteral("axis_widening"),
                [&] { m_rig.deliver(chart.scale().yMax / chart.scale().multiplier + 1, 2, 0x31); });
        // New limits, as the options bring them: the table's readings are marked anew, and the
        // chart drawing them rings them anew.
        DataModel &model = m_rig.model();
        const QMetaObject::Connection rings =
            QObject::connect(&model, &DataModel::alarmsMarked, &chart, &DMMChart::readingsMarked);
        measure(QStringLiteral("limits_change"), [&] {
            LimitAlarm limits;
            limits.setLimits(4.8, 5.2);
            model.markAlarms(limits);
        });
        QObject::disconnect(rings);
        measure(QStringLiteral("zoom"), [&] {
            const QPoint from(plot.left() + plot.width() / 4, plot.top() + 1);
            const QPoint to(plot.left() + plot.width() * 3 / 4, plot.bottom() - 1);
            sendMouse(chart, QEvent::MouseButtonPress, from, Qt::LeftButton);
            sendMouse(chart, QEvent::MouseMove, to, Qt::LeftButton);
            sendMouse(chart, QEvent::MouseButtonRelease, to, Qt::NoButton);
        });
        measure(QStringLiteral("unzoom"), [&] {
            sendMouse(chart, QEvent::MouseButtonPress, plot.center(), Qt::LeftButton);
            sendMouse(chart, QEvent::MouseButtonRelease, plot.center(), Qt::NoButton);
        });
        QAction *fit = m_rig.action("actionFitValues");
        measure(QStringLiteral("fit_values_on"), [fit] { fit->trigger(); });
        measure(QStringLiteral("fit_values_off"), [fit] { fit->trigger(); });
    }

    void tableActions()
    {
        QTableView &table = m_rig.table();
        table.setFocus();
        sendKey(table, Qt::Key_Home, Qt::ControlModifier);
        settle();
        measure(QStringLiteral("table_end"),
                [&] { sendKey(table, Qt::Key_End, Qt::ControlModifier); });
    }

    // Export and print of the whole table, then each once more cancelled at a random moment.
    void outputActions()
    {
        exportTable(QStringLiteral("export"), -1);
        printTable(QStringLiteral("print"), -1);
        exportTable(QStringLiteral("export_cancelled"), m_random.bounded(20, 200));
        printTable(QStringLiteral("print_cancelled"), m_random.bounded(50, 500));
    }

    // Ended once the box that says how it went was answered, or after a cancel, once the
    // progress dialog is gone.
    void exportTable(const QString &action, double cancelAfterMs)
    {
        const QString fileName = m_rig.filePath(QStringLiteral("%1-%2.csv").arg(action, m_n));
        m_rig.setFileName(fileName);
        Answerer answerer(QMessageBox::No, cancelAfterMs);
        QAction *exportAction = m_rig.action("actionExport");
        measure(
            action, [exportAction] { exportAction->trigger(); },
            [&answerer] {
                return !Answerer::progress() && !QApplication::activeModalWidget() &&
                       (answerer.boxesAnswered() > 0 || answerer.cancelled());
            });
        if (cancelAfterMs >= 0)
            // Clean: no file, or a cancel too late for the file, which the box then announced.
            reportCancel(action, answerer,
                         !QFile::exists(fileName) || answerer.boxesAnswered() > 0);
        else
            m_exported = {fileName, m_rig.model().rowCount()};
    }

    void printTable(const QString &action, double cancelAfterMs)
    {
        Answerer answerer(QMessageBox::Ok, cancelAfterMs);
        QAction *print = m_rig.action("actionPrint");
        measure(action, [print] { print->trigger(); });
        if (cancelAfterMs >= 0)
            reportCancel(action, answerer, true);
    }

    // How long a Cancel took to end the action, and whether it left things as they were (1) or
    // not (0); -1 for both when the action offered no Cancel.
    void reportCancel(const QString &action, const Answerer &answerer, bool clean)
    {
        const bool cancelled = answerer.cancelled();
        const auto took =
            std::chrono::duration<double, std::milli>(m_meter.endedAt() - answerer.cancelledAt());
        m_bench.report(QStringLiteral("cancel_ms_%1_%2").arg(action, m_n),
                       cancelled ? took.count() : -1, QStringLiteral("ms"));
        m_bench.report(QStringLiteral("cancel_clean_%1_%2").arg(action, m_n),
                       cancelled ? double(clean) : -1, QString());
    }

    void clearingActions()
    {
        Answerer answerer(QMessageBox::Yes);
        QAction *remove = m_rig.action("actionDelete");
        measure(QStringLiteral("delete"), [remove] { remove->trigger(); });
    }

    // The exported file read back into the table; then, after a change of function has cleared
    // it, once more cancelled, which must leave the one reading of the new function as it is.
    void importActions()
    {
        importRecording(QStringLiteral("import"), -1);
        if (m_rig.model().rowCount() != m_exported.second)
            qWarning("The import brought %d rows instead of %d", m_rig.model().rowCount(),
                     m_exported.second);
        // Alternating current volts: the table starts again with that reading.
        measure(QStringLiteral("function_change"), [this] { m_rig.deliver(1.0, 1, 0x31); });
        const auto answerer =
            importRecording(QStringLiteral("import_cancelled"), m_random.bounded(50, 500));
        reportCancel(QStringLiteral("import_cancelled"), *answerer, m_rig.model().rowCount() == 1);
    }

    // As the window imports: the file read on a thread of its own behind a progress dialog, and
    // once all is read, the table's rows and the chart taken over at once.
    std::unique_ptr<Answerer> importRecording(const QString &action, double cancelAfterMs)
    {
        MyDmm *dmm = m_rig.window().driver();
        RecordingImport import({&dmm->activeTable(), &dmm->defaultTable(), &dmm->eTable()},
                               {englishRecordColumnTitles()}, m_columns);
        auto *progress = new QProgressDialog(QStringLiteral("Opening"), QStringLiteral("Cancel"), 0,
                                             1000, &m_rig.window());
        progress->setWindowModality(Qt::WindowModal);
        progress->setMinimumDuration(500);
        QObject::connect(&import, &RecordingImport::progress, progress,
                         [progress](qint64 done, qint64 total) {
                             progress->setValue(int(done * 1000 / qMax<qint64>(total, 1)));
                         });
        QObject::connect(progress, &QProgressDialog::canceled, &import, &RecordingImport::cancel);
        bool ended = false;
        QObject::connect(&import, &RecordingImport::finished, [&] {
            delete progress;
            if (import.result().outcome == RecordingReader::Outcome::Read)
                takeOver(import);
            ended = true;
        });
        auto answerer = std::make_unique<Answerer>(QMessageBox::Yes, cancelAfterMs);
        measure(
            action, [&] { import.start(m_exported.first); }, [&ended] { return ended; });
        return answerer;
    }

    void takeOver(RecordingImport &import)
    {
        DataModel &model = m_rig.model();
        model.takeRecords(import.table());
        m_rig.chart().replacePoints(import.chart());
        m_rig.chart().showReadings(&model.readings());
        m_rig.table().scrollToBottom();
        m_rig.window().refreshStatistics();
    }

    Bench &m_bench;
    const int m_readings;
    const QString m_n;
    FramesWindow m_rig;
    StallMeter m_meter;
    QRandomGenerator m_random{31};
    // The file of the export that was not cancelled, and its rows.
    QPair<QString, int> m_exported;
    const QList<ColumnSpec *> m_columns = createRecordColumns();
};

} // namespace

void runFramesBenchmarks(Bench &bench)
{
    for (const int readings : {bench.scale(), 10 * bench.scale()}) {
        FramesRun run(bench, readings);
        run.run();
    }
}
