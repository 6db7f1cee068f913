#include "bench/bench.h"
#include "bench/chartbench.h"
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
        // Last: the object-per-reading reference frees a heap full of small blocks that the C
        // library keeps, and memory figures measured after it would reuse that heap.
        {QStringLiteral("record"), runRecordBenchmarks},
    };
    QStringList names;
    for (const auto &group : groups)
        names.append(group.first);
    const QStringList wanted = app.arguments().mid(1);
    for (const QString &name : wanted) {
        if (!names.contains(name)) {
            const bool asked = name == QLatin1String("--help") || name == QLatin1String("-h");
            QTextStream(asked ? stdout : stderr)
                << (asked ? QString() : QStringLiteral("Unknown group: %1\n").arg(name))
                << "Usage: klm704-bench [GROUP...]\n"
                << "Prints one \"name value unit\" line per figure; groups: "
                << names.join(QLatin1Char(' ')) << " (all when none is named).\n";
            return asked ? 0 : 2;
        }
    }
    QTextStream out(stdout);
    Bench bench(out);
    for (const auto &group : groups) {
        if (wanted.isEmpty() || wanted.contains(group.first))
            group.second(bench);
    }
    return 0;
}
