#include "bench/bench.h"
#include "bench/chartbench.h"
#include "bench/framesbench.h"
#include "bench/livebench.h"
#include "bench/meterbench.h"
#include "bench/mqttbench.h"
#include "bench/recordbench.h"
#include "bench/windowbench.h"

#include <QApplication>
#include <QTextStream>
#include <cstdio>
#include <functional>
#include <utility>
#include <vector>

namespace {

constexpr int kLargeRecording = 10000000;

// Two weeks at full rate: the figures that grow with the recording, at ten million readings.
void runLargeBenchmarks(Bench &bench)
{
    bench.setScale(kLargeRecording);
    runChartRedraw(bench, bench.scale());
    runRecordStepAndMemory(bench);
    runCsvExport(bench);
}

int usage(bool asked, const QString &problem, const QStringList &groups)
{
    QTextStream(asked ? stdout : stderr)
        << problem << "Usage: klm704-bench [--scale N] [GROUP...]\n"
        << "Prints one \"name value unit\" line per figure; groups: "
        << groups.join(QLatin1Char(' ')) << " (all but frames and large when none is named).\n"
        << "--scale N runs the groups at N readings instead of 1000000; large runs its figures at "
           "10000000, frames at N and ten times N; both take minutes.\n";
    return asked ? 0 : 2;
}

} // namespace

// Runs every group of figures, or those named on the command line ("klm704-bench chart").
int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::vector<std::pair<QString, std::function<void(Bench &)>>> groups = {
        {QStringLiteral("meter"), runMeterBenchmarks},
        {QStringLiteral("chart"), runChartBenchmarks},
        {QStringLiteral("window"), runWindowBenchmarks},
        {QStringLiteral("import"), runImportBenchmarks},
        {QStringLiteral("mqtt"), runMqttBenchmarks},
        {QStringLiteral("stats"), runStatisticsBenchmarks},
        {QStringLiteral("startup"), runStartupBenchmarks},
        {QStringLiteral("live"), runLiveBenchmarks},
        {QStringLiteral("frames"), runFramesBenchmarks},
        // Last: the object-per-reading reference frees a heap full of small blocks that the C
        // library keeps, and memory figures measured after it would reuse that heap.
        {QStringLiteral("record"), runRecordBenchmarks},
        {QStringLiteral("large"), runLargeBenchmarks},
    };
    QStringList names;
    for (const auto &group : groups)
        names.append(group.first);
    QStringList wanted = app.arguments().mid(1);
    int scale = 1000000;
    const int scaleAt = wanted.indexOf(QStringLiteral("--scale"));
    if (scaleAt >= 0) {
        bool ok = false;
        scale = wanted.value(scaleAt + 1).toInt(&ok);
        if (!ok || scale < 1000)
            return usage(false, QStringLiteral("--scale needs a number of at least 1000\n"), names);
        wanted.erase(wanted.begin() + scaleAt, wanted.begin() + scaleAt + 2);
    }
    for (const QString &name : wanted) {
        if (!names.contains(name)) {
            const bool asked = name == QLatin1String("--help") || name == QLatin1String("-h");
            return usage(asked, asked ? QString() : QStringLiteral("Unknown group: %1\n").arg(name),
                         names);
        }
    }
    QTextStream out(stdout);
    Bench bench(out);
    for (const auto &group : groups) {
        // The groups at ten million readings take minutes and most of a gigabyte: only when named.
        const bool all = wanted.isEmpty() && group.first != QLatin1String("large") &&
                         group.first != QLatin1String("frames");
        if (all || wanted.contains(group.first)) {
            bench.setScale(scale);
            group.second(bench);
        }
    }
    return 0;
}
