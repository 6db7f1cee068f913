#include "bench/livebench.h"

#include "app/widget.h"
#include "bench/bench.h"
#include "display/startupclock.h"
#include "meter/commandpoolthread.h"
#include "meter/deviceselector.h"
#include "meter/dmmdata.h"
#include "meter/frame.h"
#include "meter/meterkeys.h"
#include "meter/mydmm.h"
#include "meter/virtualmeter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kStartupRuns = 7;
constexpr int kProcessWaitMs = 10000;
constexpr int kLiveSeconds = 15;

double median(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return samples.at(samples.size() / 2);
}

// An X server of its own on a free display, for as long as the object lives.
class VirtualDisplay
{
public:
    VirtualDisplay()
    {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (xvfb.isEmpty())
            return;
        // Xvfb writes the number of the display it took once it accepts clients.
        m_server.start(xvfb, {QStringLiteral("-displayfd"), QStringLiteral("1"),
                              QStringLiteral("-screen"), QStringLiteral("0"),
                              QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"),
                              QStringLiteral("tcp")});
        QElapsedTimer waited;
        waited.start();
        while (!m_server.canReadLine() && waited.elapsed() < kProcessWaitMs &&
               m_server.state() != QProcess::NotRunning)
            m_server.waitForReadyRead(100);
        const QByteArray number = m_server.readLine().trimmed();
        if (!number.isEmpty())
            m_name = QStringLiteral(":") + QString::fromLatin1(number);
    }
    ~VirtualDisplay()
    {
        m_server.terminate();
        m_server.waitForFinished(kProcessWaitMs);
    }

    // ":N", or empty when no X server could be started.
    QString name() const { return m_name; }

private:
    QProcess m_server;
    QString m_name;
};

// Starts the program connected to the virtual meter on display and returns the milliseconds
// from the start of the process until its panel painted the first reading; -1 when it did not.
double timeStartup(const QString &program, const QString &display)
{
    QTemporaryDir home;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("QT_LOGGING_RULES"),
                       QStringLiteral("klm704.startup=true\nklm704.frames=false"));
    environment.insert(QStringLiteral("KLM704_SETTINGS_FILE"), home.filePath("options.xml"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath("data"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath("config"));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(home.path());
    process.setProcessChannelMode(QProcess::SeparateChannels);
    const double started = startupclock::monotonicMilliseconds();
    process.start(program,
                  {QStringLiteral("--device"), QStringLiteral("sim"), QStringLiteral("--connect")});
    static const QRegularExpression painted(QStringLiteral("monotonic clock ([0-9.]+) ms"));
    double result = -1;
    QByteArray output;
    QElapsedTimer waited;
    waited.start();
    while (result < 0 && waited.elapsed() < kProcessWaitMs &&
           process.state() != QProcess::NotRunning) {
        process.waitForReadyRead(100);
        output += process.readAllStandardError();
        const QRegularExpressionMatch match = painted.match(QString::fromLocal8Bit(output));
        if (match.hasMatch())
            result = match.captured(1).toDouble() - started;
    }
    if (result < 0)
        std::fprintf(stderr, "startup: no first reading noted; the program wrote:\n%s\n",
                     output.constData());
    process.terminate();
    if (!process.waitForFinished(kProcessWaitMs))
        process.kill();
    process.waitForFinished(kProcessWaitMs);
    return result;
}

// The bytes of the poll and of the virtual meter's answer to it.
int pollFrameBytes()
{
    return frame::build(QByteArray(1, char(meterkeys::kPoll))).size();
}

int replyFrameBytes()
{
    QByteArray command = frame::build(QByteArray(1, char(meterkeys::kPoll)));
    VirtualMeter meter(1);
    meter.setTimeScale(0);
    meter.setChunking(false);
    QByteArray reply;
    QObject::connect(&meter, &VirtualMeter::transmitted,
                     [&reply](const QByteArray &bytes) { reply += bytes; });
    meter.receive(command);
    QElapsedTimer waited;
    waited.start();
    while (reply.isEmpty() && waited.elapsed() < kProcessWaitMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    return reply.size();
}

} // namespace

void runStartupBenchmarks(Bench &bench)
{
    const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/klm704");
    const VirtualDisplay display;
    if (display.name().isEmpty()) {
        std::fprintf(stderr, "startup: no Xvfb could be started; the group is skipped\n");
        return;
    }
    std::vector<double> times;
    // The first run fills the file caches and is not counted.
    for (int run = 0; run <= kStartupRuns; ++run) {
        const double ms = timeStartup(program, display.name());
        if (ms < 0)
            return;
        if (run > 0)
            times.push_back(ms);
    }
    bench.report(QStringLiteral("startup_first_reading_ms"),
                 *std::min_element(times.begin(), times.end()), QStringLiteral("ms"));
    bench.report(QStringLiteral("startup_first_reading_median_ms"), median(times),
                 QStringLiteral("ms"));
}

void runLiveBenchmarks(Bench &bench)
{
    // One line per frame would be most of what the group prints.
    QLoggingCategory::setFilterRules(QStringLiteral("klm704.frames=false"));
    QTemporaryDir home;
    qputenv("KLM704_SETTINGS_FILE", home.filePath("options.xml").toUtf8());
    Widget window;
    window.driver()->setSampleRate(0);
    window.deviceLink()->setDevice(QStringLiteral("sim"));
    window.show();
    std::vector<double> arrivals;
    QElapsedTimer clock;
    clock.start();
    QObject::connect(window.driver(), &Dmm::display, [&arrivals, &clock] {
        arrivals.push_back(double(clock.nsecsElapsed()) / 1e6);
    });
    window.pressConnect();
    QEventLoop loop;
    QTimer::singleShot(kLiveSeconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    window.close();
    if (arrivals.size() < 2) {
        std::fprintf(stderr, "live: no readings from the virtual meter\n");
        return;
    }
    // From the first reading to the last: the start-up of the connection does not count.
    const double perSecond =
        double(arrivals.size() - 1) * 1000.0 / (arrivals.back() - arrivals.front());
    // One cycle of the link: the poll and the answer on the line, the meter's pause before it
    // answers, and the rest after each answer.
    const double cycleMs =
        ((pollFrameBytes() + replyFrameBytes()) * VirtualMeter::kByteMicroseconds +
         VirtualMeter::kAnswerDelayMicroseconds) /
            1000.0 +
        CommandPoolThread::Timing().restMs;
    const double ceiling = 1000.0 / cycleMs;
    bench.report(QStringLiteral("live_readings_per_s"), perSecond, QStringLiteral("1/s"));
    bench.report(QStringLiteral("live_ceiling_per_s"), ceiling, QStringLiteral("1/s"));
    bench.report(QStringLiteral("live_ratio_pct"), 100.0 * perSecond / ceiling,
                 QStringLiteral("%"));
}
