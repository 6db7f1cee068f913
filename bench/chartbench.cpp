#include "bench/chartbench.h"

#include "bench/bench.h"
#include "bench/driftingvoltage.h"
#include "record/chartline.h"
#include "record/chartpoint.h"
#include "record/dmmchart.h"
#include "record/readingstore.h"

#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <cmath>

namespace {

// Plot of 1000 x 500 pixels inside the default margins (left 60, right 20, top 40, bottom 40).
const QSize kChartSize(1080, 580);

// A slowly drifting reading with a little noise and a rare spike, eight readings a second.
void record(DMMChart &chart, int count)
{
    DriftingVoltage voltage;
    QDateTime time(QDate(2024, 1, 1), QTime(0, 0));
    for (int i = 0; i < count; ++i) {
        const double value = voltage.next();
        const QString text = QString::number(value, 'f', 4).rightJustified(7);
        chart.addPoint(new ChartPoint(
            time, value, text,
            ChartPoint::makeLabel(time, QStringLiteral("DCV"), text, QStringLiteral("V"))));
        time = time.addMSecs(125);
    }
}

void fullRedraw(DMMChart &chart)
{
    chart.setAutoPrefix(false); // requests a full redraw without touching the samples
    chart.repaint();
}

// The curve drawn the plain way: every visible sample joined by one polyline, on the axes layer.
QImage plainCurve(const DMMChart &chart)
{
    const ChartScale &scale = chart.scale();
    const ChartLine *line = chart.line(0);
    const int first = chart.firstVisible();
    const int last = qMin(chart.lastVisible(), line->pointCount() - 1);
    QPolygon polyline;
    polyline.reserve(last - first + 1);
    for (int i = first; i <= last; ++i)
        polyline.append(QPoint(int((i - first) * scale.xStep + chart.plotArea().x()),
                               int(chart.zeroLine() - scale.yScale * line->value(i))));
    QPixmap curves = chart.layer(DMMChart::BaseLayer).copy();
    QPainter painter(&curves);
    painter.setPen(QPen(line->colour()));
    painter.drawPolyline(polyline);
    painter.end();
    return curves.toImage();
}

int differingPixels(const QImage &a, const QImage &b)
{
    const QImage left = a.convertToFormat(QImage::Format_RGB32);
    const QImage right = b.convertToFormat(QImage::Format_RGB32);
    int count = 0;
    for (int y = 0; y < left.height(); ++y) {
        const auto *rowA = reinterpret_cast<const QRgb *>(left.constScanLine(y));
        const auto *rowB = reinterpret_cast<const QRgb *>(right.constScanLine(y));
        for (int x = 0; x < left.width(); ++x)
            count += rowA[x] != rowB[x];
    }
    return count;
}

// A reading beyond the value range changes the scale, and with it the row of every sample: the
// redraw that follows cannot reuse what the one before worked out. Timed until the new picture
// is shown, which the chart sums up in slices between turns of the event loop.
double redrawWithNewRange(DMMChart &chart)
{
    const ChartLine *line = chart.line(0);
    QDateTime time = line->time(line->pointCount() - 1);
    return Bench::bestMilliseconds(5, [&] {
        time = time.addMSecs(125);
        const double value = chart.scale().yMax + 0.01;
        const QString text = QString::number(value, 'f', 4);
        chart.addPoint(new ChartPoint(
            time, value, text,
            ChartPoint::makeLabel(time, QStringLiteral("DCV"), text, QStringLiteral("V"))));
        chart.repaint();
        while (chart.isRedrawPending())
            QCoreApplication::processEvents();
    });
}

} // namespace

void runChartRedraw(Bench &bench, int count)
{
    DMMChart chart;
    chart.resize(kChartSize);
    chart.show();
    QCoreApplication::processEvents();
    chart.repaint();
    const qint64 before = Bench::heapBytes();
    record(chart, count);
    const qint64 after = Bench::heapBytes();
    fullRedraw(chart);

    const QString n = Bench::countName(count);
    const double thinned = Bench::bestMilliseconds(20, [&chart] { fullRedraw(chart); });
    QImage plain;
    const double full =
        Bench::bestMilliseconds(count >= 1000000 ? 5 : 20, [&] { plain = plainCurve(chart); });
    bench.report("chart_redraw_ms_" + n, thinned, "ms");
    bench.report("chart_redraw_naive_ms_" + n, full, "ms");
    bench.report("chart_pixels_differ_" + n,
                 differingPixels(chart.layer(DMMChart::CurvesLayer).toImage(), plain), "pixels");
    if (count == bench.scale()) {
        bench.report("chart_bytes_per_point_" + n, double(after - before) / count, "bytes");
        bench.report("chart_redraw_new_range_ms_" + n, redrawWithNewRange(chart), "ms");
    }
}

void runChartBenchmarks(Bench &bench)
{
    // The largest first, so that its memory figure is not lowered by memory the smaller charts
    // gave back.
    for (int count : {bench.scale(), bench.scale() / 10, bench.scale() / 100})
        runChartRedraw(bench, count);
}

namespace {

// The figures of the samples but the first and the last: a stretch that begins and ends inside
// a block, so that both partial blocks are read sample by sample. Reported with the difference
// of its mean from a plain pass over the same samples.
void measureZoomedStatistics(Bench &bench, const ReadingStore &store)
{
    const int count = store.count();
    const QString n = Bench::countName(count);
    ReadingSummary summary;
    const double ms = Bench::bestMilliseconds(20, [&] { summary = store.summary(1, count - 2); });
    double sum = 0;
    for (int i = 1; i <= count - 2; ++i)
        sum += store.value(i);
    bench.report("stats_zoomed_ms_" + n, ms, "ms");
    bench.report("stats_zoomed_mean_error_" + n, std::abs(summary.mean() - sum / (count - 2)), "V");
}

} // namespace

void runStatisticsBenchmarks(Bench &bench)
{
    ReadingStore store;
    DriftingVoltage voltage;
    const qint64 start = QDateTime(QDate(2024, 1, 1), QTime(0, 0)).toMSecsSinceEpoch();
    const QString function = QStringLiteral("DCV");
    const QString unit = QStringLiteral("V");
    for (int i = 1; i <= 10 * bench.scale(); ++i) {
        const QDateTime time = QDateTime::fromMSecsSinceEpoch(start + 125LL * i);
        const double value = voltage.next();
        const QString text = QString::number(value, 'f', 3);
        ChartPoint point(time, value, text, ChartPoint::makeLabel(time, function, text, unit));
        point.setResolution(-3);
        point.setAlarm(value > 5.3);
        store.append(point);
        if (i == bench.scale() || i == 10 * bench.scale())
            measureZoomedStatistics(bench, store);
    }
}
