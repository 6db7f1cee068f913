#include "record/chartgrid.h"
#include "record/chartline.h"
#include "record/chartpoint.h"
#include "record/chartscale.h"
#include "record/dmmchart.h"
#include "record/screenpositions.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <cmath>
#include <limits>

// Scale, grid, hover and zoom computations, and the chart widget built on them.
class TestChart : public QObject
{
    Q_OBJECT
private slots:
    // computations
    void milliValuesGetThePrefixM();
    void negativeValuesPutZeroAtTheTop();
    void mixedValuesPutZeroAQuarterUp();
    void singleSampleFillsThePlot();
    void emptyChartIsWidenedAroundZero();
    void gridStepsBeyondTheListAreMultiplesOf50_data();
    void gridStepsBeyondTheListAreMultiplesOf50();
    void squeezedPlotHasNoDivisions();
    void hoverPicksTheNearestSample_data();
    void hoverPicksTheNearestSample();
    void dragSelectsSamples_data();
    void dragSelectsSamples();

    // widget
    void chartFollowsItsPointsAndPrefix();
    void zeroLineIsDrawnDotted();
    void curveIsDrawnInItsColour();
    void negativeCurveLiesBelowZero();
    void curveLayerMatchesTheFullPolyline_data();
    void curveLayerMatchesTheFullPolyline();
    void curveFollowsNewPointsNewRangesAndAClear();
    void chartRedrawnAfterNewPointsLooksDrawnAfresh_data();
    void chartRedrawnAfterNewPointsLooksDrawnAfresh();
    void hoverShowsTheMarkerUntilTheTimerEnds();
    void hoverOnTheSameSampleHidesTheMarker();
    void dragRightDownZoomsAndZoomsFurther();
    void otherDragsAndClicksResetTheZoom_data();
    void otherDragsAndClicksResetTheZoom();
    void clickAfterADragResetsTheZoom();
    void selectionRectangleIsDrawnWhileDragging();
    void pointsArrivingWhileZoomedKeepTheView();
    void clearChartKeepsTheZoom();
    void pressNeedsTheLeftButtonAndPoints();
    void savedImageContainsTheMarker();
    void savingToAnUnknownFormatFails();
    void titlesAndMarginsRedrawOnlyWhenTheyChange();
    void pointForAMissingLineIsDropped();
    void tinyChartWithOddValuesStillPaints();
};

namespace {

const QSize kPlot(1000, 300);
// Default margins: left 60, right 20, top 40, bottom 40.
const QSize kWidget(kPlot.width() + 80, kPlot.height() + 80);
const QRgb kCurve = qRgb(250, 150, 0);
const QRgb kMarker = qRgb(0, 100, 250);

void addValues(DMMChart &chart, const QVector<double> &values)
{
    const QDateTime start(QDate(2024, 5, 6), QTime(7, 8, 9));
    for (int i = 0; i < values.size(); ++i) {
        const QDateTime time = start.addMSecs(125 * chart.line(0)->pointCount());
        const QString text = QString::number(values.at(i));
        chart.addPoint(new ChartPoint(time, values.at(i), text,
                                      ChartPoint::makeLabel(time, "DCV", text, "V")));
    }
}

// A shown chart, so that painting it does not replay its resize as a hidden widget's would.
void showChart(DMMChart &chart, const QSize &size = kWidget)
{
    chart.resize(size);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
}

void compose(DMMChart &chart)
{
    chart.repaint();
}

void sendMouse(DMMChart &chart, QEvent::Type type, const QPoint &position,
               Qt::MouseButton button = Qt::LeftButton)
{
    const Qt::MouseButtons buttons =
        type == QEvent::MouseButtonPress ? Qt::MouseButtons(button) : Qt::NoButton;
    QMouseEvent event(type, position, type == QEvent::MouseMove ? Qt::NoButton : button, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(&chart, &event);
}

// Drags with the left button between two points given relative to the plot's top-left corner.
void drag(DMMChart &chart, const QPoint &from, const QPoint &to)
{
    const QPoint origin = chart.plotArea().topLeft();
    sendMouse(chart, QEvent::MouseButtonPress, origin + from);
    sendMouse(chart, QEvent::MouseMove, origin + to);
    sendMouse(chart, QEvent::MouseButtonRelease, origin + to);
    compose(chart);
}

int countInColumn(const QImage &image, int x, QRgb colour)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        count += image.pixel(x, y) == colour;
    return count;
}

int countInRow(const QImage &image, int y, int from, int to, QRgb colour)
{
    int count = 0;
    for (int x = from; x <= to; ++x)
        count += image.pixel(x, y) == colour;
    return count;
}

int countColour(const QImage &image, QRgb colour)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        count += countInRow(image, y, 0, image.width() - 1, colour);
    return count;
}

QImage layerImage(const DMMChart &chart, DMMChart::Layer layer)
{
    return chart.layer(layer).toImage().convertToFormat(QImage::Format_RGB32);
}

// The curve as the chart defines it: every visible sample joined by one polyline, drawn on the
// axes layer.
QImage fullPolylineOnBase(const DMMChart &chart)
{
    const ChartScale &scale = chart.scale();
    const double m = scale.multiplier;
    const ChartLine *line = chart.line(0);
    QPolygon polyline;
    for (int i = chart.firstVisible(); i <= qMin(chart.lastVisible(), line->pointCount() - 1);
         ++i) {
        const int k = i - chart.firstVisible();
        polyline.append(QPoint(int(k * scale.xStep + chart.plotArea().x()),
                               int(chart.zeroLine() - scale.yScale * line->value(i) * m)));
    }
    QPixmap pixmap = chart.layer(DMMChart::BaseLayer).copy();
    QPainter painter(&pixmap);
    painter.setPen(QPen(QColor(kCurve)));
    painter.drawPolyline(polyline);
    painter.end();
    return pixmap.toImage().convertToFormat(QImage::Format_RGB32);
}

// Pixels of the curves layer that differ from the full polyline drawn on the axes layer.
int differingFromFullPolyline(const DMMChart &chart)
{
    const QImage expected = fullPolylineOnBase(chart);
    const QImage curves = layerImage(chart, DMMChart::CurvesLayer);
    if (curves.size() != expected.size())
        return -1;
    int differing = 0;
    for (int y = 0; y < curves.height(); ++y) {
        for (int x = 0; x < curves.width(); ++x)
            differing += curves.pixel(x, y) != expected.pixel(x, y);
    }
    return differing;
}

// Values between -1 and 1, the first two at the ends of that range.
QVector<double> wave(int count, double frequency)
{
    QVector<double> values = {-1, 1};
    for (int i = 2; i < count; ++i)
        values.append(0.8 * std::sin(i * frequency) + 0.1 * std::sin(i * 1.3));
    return values;
}

} // namespace

void TestChart::milliValuesGetThePrefixM()
{
    const ChartScale scale = ChartScale::compute(0.0042, 0.0051, true, kPlot, 0, 1);
    QCOMPARE(scale.prefix, QStringLiteral("m"));
    QCOMPARE(scale.multiplier, 1000.0);
    QCOMPARE(scale.yMax, 5.1);
    QCOMPARE(scale.yMin, 4.2);
    QCOMPARE(scale.span, 5.1);
    QVERIFY(qAbs(scale.yScale - 58.82) < 0.01);
    QCOMPARE(scale.xStep, 500.0);

    const ChartGrid grid = ChartGrid::compute(scale, kPlot, true);
    QCOMPARE(grid.yStep, 0.8);
    QCOMPARE(grid.linesAbove, 6);
    QCOMPARE(grid.linesBelow, 0);
    const QRect plot(QPoint(60, 40), kPlot);
    QCOMPARE(scale.zeroLine(plot), plot.bottom());
    const QVector<ChartGrid::ValueMark> marks = grid.valueMarks(plot.bottom(), 2, scale.prefix);
    QStringList texts;
    for (const ChartGrid::ValueMark &mark : marks)
        texts << mark.text;
    QCOMPARE(texts,
             QStringList({"0.00m", "0.80m", "1.60m", "2.40m", "3.20m", "4.00m", "4.80m", "0.00m"}));
    QCOMPARE(marks.at(1).y, int(plot.bottom() - grid.yDivision));
    QCOMPARE(marks.at(6).y, int(plot.bottom() - 6 * grid.yDivision));
    QCOMPARE(marks.last().y, plot.bottom());

    const ChartScale plain = ChartScale::compute(0.0042, 0.0051, false, kPlot, 0, 1);
    QCOMPARE(plain.prefix, QStringLiteral(" "));
    QCOMPARE(plain.multiplier, 1.0);
    QCOMPARE(plain.yMax, 0.0051);
}

void TestChart::negativeValuesPutZeroAtTheTop()
{
    const ChartScale scale = ChartScale::compute(-5, -2, false, kPlot, 0, 1);
    QCOMPARE(scale.span, 5.0);
    const QRect plot(QPoint(60, 40), kPlot);
    QCOMPARE(scale.zeroLine(plot), plot.top());
    const ChartGrid grid = ChartGrid::compute(scale, kPlot, true);
    QCOMPARE(grid.yStep, 0.5);
    QCOMPARE(grid.linesAbove, 0);
    QCOMPARE(grid.linesBelow, 10);
    const QVector<ChartGrid::ValueMark> marks = grid.valueMarks(plot.top(), 1, scale.prefix);
    QCOMPARE(marks.size(), 1 + 11);
    QCOMPARE(marks.at(0).text, QStringLiteral("0.0 "));
    QCOMPARE(marks.at(2).text, QStringLiteral("-0.5 "));
    QCOMPARE(marks.last().text, QStringLiteral("-5.0 "));
    QCOMPARE(marks.last().y, int(plot.top() + 10 * grid.yDivision));
}

void TestChart::mixedValuesPutZeroAQuarterUp()
{
    const ChartScale scale = ChartScale::compute(-1, 3, false, kPlot, 0, 1);
    QCOMPARE(scale.span, 4.0);
    const QRect plot(QPoint(60, 40), kPlot);
    QCOMPARE(scale.zeroLine(plot), plot.top() + kPlot.height() * 3 / 4);
    const ChartGrid grid = ChartGrid::compute(scale, kPlot, true);
    QCOMPARE(grid.yStep, 0.5);
    QCOMPARE(grid.linesAbove, 6);
    QCOMPARE(grid.linesBelow, 2);
}

void TestChart::singleSampleFillsThePlot()
{
    const ChartScale scale = ChartScale::compute(7, 7, false, kPlot, 0, 0);
    QCOMPARE(scale.xStep, double(kPlot.width()));
    QCOMPARE(scale.span, 7.0);
    const ChartGrid grid = ChartGrid::compute(scale, kPlot, true);
    QCOMPARE(grid.samplesPerDivision, 1);
    QCOMPARE(grid.xDivisions, 1);
    QCOMPARE(grid.tickX(0, 60), 60);
}

void TestChart::emptyChartIsWidenedAroundZero()
{
    const ChartScale scale = ChartScale::compute(0, 0, true, kPlot, 0, -1);
    QCOMPARE(scale.span, 2.0);
    QCOMPARE(scale.yMin, -1.0);
    QCOMPARE(scale.yMax, 1.0);
    QCOMPARE(scale.multiplier, 1.0);
    QCOMPARE(scale.xStep, 0.0);
    const QRect plot(QPoint(60, 40), kPlot);
    QCOMPARE(scale.zeroLine(plot), plot.top() + kPlot.height() / 2);
    const ChartGrid grid = ChartGrid::compute(scale, kPlot, false);
    QCOMPARE(grid.xDivisions, 0);
    QCOMPARE(grid.linesAbove, 0);
    QCOMPARE(grid.linesBelow, 0);
    const QVector<ChartGrid::ValueMark> marks = grid.valueMarks(190, 2, " ");
    QCOMPARE(marks.size(), 2);
    QCOMPARE(marks.at(0).y, 190);
    QCOMPARE(marks.at(1).y, 190);
}

void TestChart::gridStepsBeyondTheListAreMultiplesOf50_data()
{
    QTest::addColumn<double>("xStep");
    QTest::addColumn<int>("samplesPerDivision");
    QTest::addColumn<double>("yScale");
    QTest::addColumn<double>("yStep");
    QTest::newRow("list ends") << 2.0 << 40 << 1.0 << 30.0;
    QTest::newRow("just past the list") << 1.9 << 50 << 0.7 << 50.0;
    QTest::newRow("exactly 100") << 0.8 << 100 << 0.3 << 100.0;
    QTest::newRow("a million samples") << 0.001 << 80000 << 1e-6 << 3e7;
    QTest::newRow("small steps") << 100.0 << 1 << 3e13 << 1e-12;
}

void TestChart::gridStepsBeyondTheListAreMultiplesOf50()
{
    QFETCH(double, xStep);
    QFETCH(int, samplesPerDivision);
    QFETCH(double, yScale);
    QFETCH(double, yStep);
    ChartScale scale;
    scale.xStep = xStep;
    scale.yScale = yScale;
    scale.yMax = 1;
    const ChartGrid grid = ChartGrid::compute(scale, kPlot, true);
    QCOMPARE(grid.samplesPerDivision, samplesPerDivision);
    QCOMPARE(grid.yStep, yStep);
    QVERIFY(grid.samplesPerDivision * xStep >= 80);
    QVERIFY(grid.yStep * yScale >= 30);
}

// A chart dock squeezed below the margins gives a negative plot size: no endless step search.
void TestChart::squeezedPlotHasNoDivisions()
{
    const QSize squeezed(-20, -30);
    const ChartScale scale = ChartScale::compute(1, 5, false, squeezed, 0, 9);
    const ChartGrid grid = ChartGrid::compute(scale, squeezed, true);
    QCOMPARE(grid.xDivisions, 0);
    QCOMPARE(grid.linesAbove, 0);
    QCOMPARE(grid.linesBelow, 0);
}

void TestChart::hoverPicksTheNearestSample_data()
{
    QTest::addColumn<double>("xStep");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("nearest");
    QTest::newRow("exact") << 10.0 << 5 << 20 << 2;
    QTest::newRow("half-way picks the left") << 10.0 << 5 << 15 << 1;
    QTest::newRow("just past half-way") << 10.0 << 5 << 16 << 2;
    QTest::newRow("just before half-way") << 10.0 << 5 << 14 << 1;
    QTest::newRow("left edge") << 10.0 << 5 << 0 << 0;
    QTest::newRow("right of every sample") << 10.0 << 5 << 300 << 4;
    QTest::newRow("no samples") << 10.0 << 0 << 3 << -1;
    QTest::newRow("rounded positions") << 2.5 << 8 << 3 << 1;          // 0 3 5 8 10 ...
    QTest::newRow("shared column, first wins") << 0.3 << 20 << 1 << 2; // 0 0 1 1 1 ...
    QTest::newRow("one sample") << 1000.0 << 1 << 700 << 0;
}

void TestChart::hoverPicksTheNearestSample()
{
    QFETCH(double, xStep);
    QFETCH(int, count);
    QFETCH(int, x);
    QFETCH(int, nearest);
    QCOMPARE(ScreenPositions(xStep, count).nearest(x), nearest);
}

void TestChart::dragSelectsSamples_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("startX");
    QTest::addColumn<int>("endX");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    // Ten samples 100 pixels apart.
    QTest::newRow("on samples") << 10 << 200 << 600 << 2 << 5;
    QTest::newRow("between samples") << 10 << 150 << 650 << 2 << 6;
    QTest::newRow("to the right end") << 10 << 350 << 1000 << 4 << 9;
    QTest::newRow("from the left end") << 10 << 0 << 100 << 0 << 1;
    QTest::newRow("start right of all") << 10 << 950 << 1000 << 0 << 9;
    QTest::newRow("inside one gap") << 10 << 410 << 480 << 5 << 4;
    QTest::newRow("one sample only") << 1 << 0 << 1000 << 0 << 0;
}

void TestChart::dragSelectsSamples()
{
    QFETCH(int, count);
    QFETCH(int, startX);
    QFETCH(int, endX);
    QFETCH(int, first);
    QFETCH(int, last);
    const ScreenPositions positions(1000.0 / 10, count);
    const ScreenPositions::Span span = positions.dragSpan(startX, endX);
    QCOMPARE(span.first, first);
    QCOMPARE(span.last, last);
}

void TestChart::chartFollowsItsPointsAndPrefix()
{
    DMMChart chart;
    showChart(chart);
    chart.setAutoPrefix(true);
    addValues(chart, {0.0042, 0.0051});
    compose(chart);
    QCOMPARE(chart.plotArea(), QRect(QPoint(60, 40), kPlot));
    QCOMPARE(chart.scale().prefix, QStringLiteral("m"));
    QCOMPARE(chart.scale().multiplier, 1000.0);
    QCOMPARE(chart.grid().linesAbove, 6);
    QCOMPARE(chart.firstVisible(), 0);
    QCOMPARE(chart.lastVisible(), 1);
    QCOMPARE(chart.line(0)->min(), 0.0042);
    QCOMPARE(chart.line(0)->max(), 0.0051);
    QCOMPARE(chart.line(0)->screenPositions().count(), 2);
    QCOMPARE(chart.line(0)->screenPositions().at(1), 500);

    // The top sample sits on the plot's top edge: (int)(bottom - 58.8 * 0.0051 * 1000).
    const QImage curves = layerImage(chart, DMMChart::CurvesLayer);
    const int top = int(chart.zeroLine() - chart.scale().yScale * 0.0051 * 1000);
    QCOMPARE(curves.pixel(60 + 500, top), kCurve);

    chart.setAutoPrefix(false);
    compose(chart);
    QCOMPARE(chart.scale().prefix, QStringLiteral(" "));
    QCOMPARE(chart.scale().yMax, 0.0051);
}

void TestChart::zeroLineIsDrawnDotted()
{
    DMMChart chart;
    showChart(chart);
    addValues(chart, {-1, 3});
    compose(chart);
    const QRect plot = chart.plotArea();
    QCOMPARE(chart.zeroLine(), plot.top() + 225);
    const QImage base = layerImage(chart, DMMChart::BaseLayer);
    const QRgb black = qRgb(0, 0, 0);
    // One pixel in three along the dotted line; the rows beside it carry no line.
    const int onLine = countInRow(base, chart.zeroLine(), plot.left() + 1, plot.right(), black);
    QVERIFY2(onLine > plot.width() / 4 && onLine < plot.width() / 2,
             qPrintable(QString::number(onLine)));
    QVERIFY(countInRow(base, chart.zeroLine() + 1, plot.left() + 1, plot.right(), black) < 40);
    // The tick left of the axis is solid.
    QCOMPARE(base.pixel(plot.left() - 3, chart.zeroLine()), black);
}

void TestChart::curveIsDrawnInItsColour()
{
    DMMChart chart;
    showChart(chart);
    addValues(chart, {1, 2, 3, 4});
    compose(chart);
    QCOMPARE(chart.line(0)->colour(), QColor(250, 150, 0));
    const QImage base = layerImage(chart, DMMChart::BaseLayer);
    const QImage curves = layerImage(chart, DMMChart::CurvesLayer);
    QCOMPARE(countColour(base, kCurve), 0);
    QVERIFY(countColour(curves, kCurve) > 700);
    const int firstRow = int(chart.zeroLine() - chart.scale().yScale * 1);
    QCOMPARE(curves.pixel(chart.plotArea().left(), firstRow), kCurve);
}

void TestChart::negativeCurveLiesBelowZero()
{
    DMMChart chart;
    showChart(chart);
    addValues(chart, {-2, -5});
    compose(chart);
    QCOMPARE(chart.zeroLine(), chart.plotArea().top());
    const QImage curves = layerImage(chart, DMMChart::CurvesLayer);
    int below = 0;
    for (int y = 0; y < curves.height(); ++y) {
        const int count = countInRow(curves, y, 0, curves.width() - 1, kCurve);
        QVERIFY(count == 0 || y > chart.zeroLine());
        below += count;
    }
    QVERIFY(below > 0);
}

void TestChart::curveLayerMatchesTheFullPolyline_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("zoom");
    QTest::addColumn<bool>("prefix");
    QTest::newRow("few") << 7 << false << false;
    QTest::newRow("dense") << 30000 << false << true;
    QTest::newRow("dense zoomed") << 30000 << true << false;
    QTest::newRow("denser than columns zoomed") << 5000 << true << true;
}

void TestChart::curveLayerMatchesTheFullPolyline()
{
    QFETCH(int, count);
    QFETCH(bool, zoom);
    QFETCH(bool, prefix);
    DMMChart chart;
    showChart(chart);
    chart.setAutoPrefix(prefix);
    QVector<double> values;
    for (int i = 0; i < count; ++i)
        values.append(0.02 * std::sin(i * 0.01) + 0.003 * std::sin(i * 1.7) - 0.005);
    addValues(chart, values);
    compose(chart);
    if (zoom)
        drag(chart, QPoint(173, 10), QPoint(612, 200));
    QCOMPARE(chart.isZoomed(), zoom);
    QCOMPARE(differingFromFullPolyline(chart), 0);
    QVERIFY(countColour(layerImage(chart, DMMChart::CurvesLayer), kCurve) > 0);
}

// A growing recording is drawn again after each new point; what the chart works out once for the
// points already drawn must not outlive a new value range or a clear.
void TestChart::curveFollowsNewPointsNewRangesAndAClear()
{
    DMMChart chart;
    // A plot 100 pixels wide: hundreds of samples to a column.
    showChart(chart, QSize(180, kWidget.height()));
    addValues(chart, wave(20000, 0.001));
    compose(chart);
    QCOMPARE(differingFromFullPolyline(chart), 0);
    for (int more : {1, 63, 64, 5000}) {
        addValues(chart, wave(more + 2, 0.002).mid(2));
        compose(chart);
        QCOMPARE(differingFromFullPolyline(chart), 0);
    }
    addValues(chart, {1.5});
    compose(chart);
    QCOMPARE(chart.scale().yMax, 1.5);
    QCOMPARE(differingFromFullPolyline(chart), 0);

    // The same range again, with other values in it.
    chart.clearChart();
    addValues(chart, wave(25000, 0.001));
    compose(chart);
    const QImage first = layerImage(chart, DMMChart::CurvesLayer);
    chart.clearChart();
    addValues(chart, wave(25000, 0.003));
    compose(chart);
    QCOMPARE(differingFromFullPolyline(chart), 0);
    QVERIFY(layerImage(chart, DMMChart::CurvesLayer) != first);
}

void TestChart::chartRedrawnAfterNewPointsLooksDrawnAfresh_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QVector<double>>("values");
    QTest::newRow("steady range") << kWidget << QVector<double>{5, 5.2, 4.9, 5.1, 5.05};
    QTest::newRow("growing range") << kWidget << QVector<double>{0.1, 0.4, 1.2, 1.9, 4.5};
    QTest::newRow("zero moves") << kWidget << QVector<double>{-1, 2, 0.5, -3};
    QTest::newRow("negative, millivolts")
        << QSize(300, 200) << QVector<double>{-0.003, -0.0051, -0.002, -0.0049};
    // Labels, ticks and grid crowd one another.
    QTest::newRow("tiny") << QSize(85, 90) << QVector<double>{-1, 2, 0.5, -0.3, 7};
}

// Whatever a redraw keeps from the one before (grid, curve summaries) must leave the chart as a
// chart drawn once with all its points.
void TestChart::chartRedrawnAfterNewPointsLooksDrawnAfresh()
{
    QFETCH(QSize, size);
    QFETCH(QVector<double>, values);
    DMMChart growing;
    showChart(growing, size);
    growing.setAutoPrefix(true);
    QVector<double> all;
    for (int batch = 0; batch < values.size(); ++batch) {
        // Each batch a wiggle around one value, long enough to span a whole time division.
        QVector<double> more;
        for (int i = 0; i < 700; ++i)
            more.append(values.at(batch) * (1 + 0.01 * std::sin(i * 0.3)));
        addValues(growing, more);
        compose(growing);
        all += more;

        // Shown only with all its points, so that its first paint is the one compared.
        DMMChart fresh;
        fresh.setAutoPrefix(true);
        addValues(fresh, all);
        showChart(fresh, size);
        compose(fresh);
        QVERIFY2(layerImage(growing, DMMChart::FinalLayer) ==
                     layerImage(fresh, DMMChart::FinalLayer),
                 qPrintable(QStringLiteral("after %1 points").arg(all.size())));
    }
}

void TestChart::hoverShowsTheMarkerUntilTheTimerEnds()
{
    DMMChart chart;
    showChart(chart);
    addValues(chart, {1, 2, 3, 4});
    compose(chart);
    // Samples sit 250 pixels apart; 125 is half-way between the first two.
    const QPoint origin = chart.plotArea().topLeft();
    sendMouse(chart, QEvent::MouseMove, origin + QPoint(125, 50));
    QCOMPARE(chart.hoverIndex(), 0);
    QVERIFY(chart.isMarkerVisible());
    const QTimer *timer = chart.findChild<QTimer *>();
    QVERIFY(timer);
    QVERIFY(timer->isActive());
    QVERIFY(timer->isSingleShot());
    QCOMPARE(timer->interval(), DMMChart::kMarkerTimeout);
    QCOMPARE(DMMChart::kMarkerTimeout, 6000);

    compose(chart);
    const QImage shown = layerImage(chart, DMMChart::FinalLayer);
    QCOMPARE(countInColumn(shown, origin.x(), kMarker), chart.plotArea().height());

    sendMouse(chart, QEvent::MouseMove, origin + QPoint(626, 50));
    QCOMPARE(chart.hoverIndex(), 3);
    compose(chart);
    const QImage moved = layerImage(chart, DMMChart::FinalLayer);
    QCOMPARE(countInColumn(moved, origin.x() + 750, kMarker), chart.plotArea().height());
    QCOMPARE(countInColumn(moved, origin.x(), kMarker), 0);

    chart.slotTmrIndicatorTimeout();
    QVERIFY(!chart.isMarkerVisible());
    compose(chart);
    QCOMPARE(countColour(layerImage(chart, DMMChart::FinalLayer), kMarker), 0);
}

void TestChart::hoverOnTheSameSampleHidesTheMarker()
{
    DMMChart chart;
    showChart(chart);
    addValues(chart, {1, 2});
    compose(chart);
    const QPoint origin = chart.plotArea().topLeft();
    sendMouse(chart, QEvent::MouseMove, origin + QPoint(10, 50));
    QVERIFY(chart.isMarkerVisible());
    sendMouse(chart, QEvent::MouseMove, origin + QPoint(20, 50));
    QVERIFY(!chart.isMarkerVisible());
    QCOMPARE(chart.hoverIndex(), 0);
    compose(chart);
    QCOMPARE(countColour(layerImage(chart, DMMChart::FinalLayer), kMarker), 0);
}

void TestChart::dragRightDownZoomsAndZoomsFurther()
{
    DMMChart chart;
    showChart(chart);
    addValues(chart, {5, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    compose(chart);
    drag(chart, QPoint(200, 10), QPoint(600, 200));
    QVERIFY(chart.isZoomed());
    QVERIFY(!chart.isSelecting());
    QCOMPARE(chart.firstVisible(), 2);
    QCOMPARE(chart.lastVisible(), 5);
    QCOMPARE(chart.scale().xStep, 250.0);
    QCOMPARE(chart.line(0)->min(), 2.0);
    QCOMPARE(chart.line(0)->max(), 5.0);

    // Positions 0 250 500 750: from 250 to the right end keeps samples 1 ... 3 of the view.
    drag(chart, QPoint(250, 10), QPoint(1000, 200));
    QCOMPARE(chart.firstVisible(), 3);
    QCOMPARE(chart.lastVisible(), 5);
}

void TestChart::otherDragsAndClicksResetTheZoom_data()
{
    QTest::addColumn<QPoint>("from");
    QTest::addColumn<QPoint>("to");
    QTest::newRow("right to left") << QPoint(600, 10) << QPoint(200, 200);
    QTest::newRow("upward") << QPoint(200, 200) << QPoint(600, 10);
    QTest::newRow("click") << QPoint(300, 100) << QPoint(300, 100);
    QTest::newRow("inside one gap") << QPoint(410, 10) << QPoint(480, 200);
}

void TestChart::otherDragsAndClicksResetTheZoom()
{
    QFETCH(QPoint, from);
    QFETCH(QPoint, to);
    DMMChart chart;
    showChart(chart);
    addValues(chart, {5, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    compose(chart);
    drag(chart, QPoint(100, 10), QPoint(900, 200));
    QVERIFY(chart.isZoomed());
    drag(chart, from, to);
    QVERIFY(!chart.isZoomed());
    QCOMPARE(chart.firstVisible(), 0);
    QCOMPARE(chart.lastVisible(), 9);
}

// A press starts a fresh rectangle: releasing without moving must not reuse an earlier drag's
// end and zoom again.
void TestChart::clickAfterADragResetsTheZoom()
{
    DMMChart chart;
    showChart(chart);
    addValues(chart, {5, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    compose(chart);
    drag(chart, QPoint(100, 10), QPoint(900, 200));
    QVERIFY(chart.isZoomed());
    const QPoint click = chart.plotArea().topLeft() + QPoint(20, 20);
    sendMouse(chart, QEvent::MouseButtonPress, click);
    sendMouse(chart, QEvent::MouseButtonRelease, click);
    compose(chart);
    QVERIFY(!chart.isZoomed());
    QCOMPARE(chart.lastVisible(), 9);
}

void TestChart::selectionRectangleIsDrawnWhileDragging()
{
    DMMChart chart;
    showChart(chart);
    addValues(chart, {1, 2, 3});
    compose(chart);
    const QPoint origin = chart.plotArea().topLeft();
    sendMouse(chart, QEvent::MouseButtonPress, origin + QPoint(100, 30));
    sendMouse(chart, QEvent::MouseMove, origin + QPoint(400, 250));
    QVERIFY(chart.isSelecting());
    compose(chart);
    const QImage selection = layerImage(chart, DMMChart::SelectionLayer);
    const QRgb black = qRgb(0, 0, 0);
    const int top =
        countInRow(selection, origin.y() + 30, origin.x() + 101, origin.x() + 399, black);
    QVERIFY2(top > 60 && top < 200, qPrintable(QString::number(top)));
    // A drag outside the plot is clamped to its edges.
    sendMouse(chart, QEvent::MouseMove, QPoint(kWidget.width() - 1, kWidget.height() - 1));
    compose(chart);
    const QImage clamped = layerImage(chart, DMMChart::SelectionLayer);
    const int right = countInColumn(clamped, origin.x() + kPlot.width(), black);
    QVERIFY2(right > 60 && right < 200, qPrintable(QString::number(right)));
    sendMouse(chart, QEvent::MouseButtonRelease, origin);
    compose(chart);
    QVERIFY(!chart.isSelecting());
    QCOMPARE(layerImage(chart, DMMChart::SelectionLayer), layerImage(chart, DMMChart::CurvesLayer));
}

void TestChart::pointsArrivingWhileZoomedKeepTheView()
{
    DMMChart chart;
    showChart(chart);
    addValues(chart, {5, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    compose(chart);
    drag(chart, QPoint(200, 10), QPoint(600, 200));
    const qint64 base = chart.layer(DMMChart::BaseLayer).cacheKey();
    addValues(chart, {100, -100, 50});
    compose(chart);
    QCOMPARE(chart.layer(DMMChart::BaseLayer).cacheKey(), base);
    QCOMPARE(chart.firstVisible(), 2);
    QCOMPARE(chart.lastVisible(), 5);
    QCOMPARE(chart.line(0)->pointCount(), 13);

    // The next click shows every sample again.
    const QPoint click = chart.plotArea().topLeft() + QPoint(5, 5);
    sendMouse(chart, QEvent::MouseButtonPress, click);
    sendMouse(chart, QEvent::MouseButtonRelease, click);
    compose(chart);
    QCOMPARE(chart.firstVisible(), 0);
    QCOMPARE(chart.lastVisible(), 12);
    QCOMPARE(chart.line(0)->max(), 100.0);
}

void TestChart::clearChartKeepsTheZoom()
{
    DMMChart chart;
    showChart(chart);
    addValues(chart, {5, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    compose(chart);
    drag(chart, QPoint(200, 10), QPoint(600, 200));
    chart.clearChart();
    compose(chart);
    QVERIFY(chart.isZoomed());
    QCOMPARE(chart.firstVisible(), 2);
    QCOMPARE(chart.lastVisible(), 5);
    QCOMPARE(chart.line(0)->pointCount(), 0);
    QCOMPARE(chart.line(0)->screenPositions().count(), 0);
    // Samples past the zoomed stretch's start are shown; those before it are not.
    addValues(chart, {1, 2, 3, 4});
    chart.setYTitle("Value");
    compose(chart);
    QCOMPARE(chart.line(0)->screenPositions().count(), 2);
    QCOMPARE(chart.line(0)->min(), 3.0);
    QCOMPARE(chart.line(0)->max(), 4.0);
}

void TestChart::pressNeedsTheLeftButtonAndPoints()
{
    DMMChart chart;
    showChart(chart);
    compose(chart);
    const QPoint inside = chart.plotArea().center();
    sendMouse(chart, QEvent::MouseButtonPress, inside);
    QVERIFY(!chart.isSelecting());
    addValues(chart, {1, 2});
    compose(chart);
    sendMouse(chart, QEvent::MouseButtonPress, inside, Qt::RightButton);
    QVERIFY(!chart.isSelecting());
    sendMouse(chart, QEvent::MouseMove, inside);
    QVERIFY(chart.hoverIndex() >= 0);
    sendMouse(chart, QEvent::MouseButtonPress, inside);
    QVERIFY(chart.isSelecting());
    QCOMPARE(chart.hoverIndex(), -1);
    QVERIFY(!chart.isMarkerVisible());
}

void TestChart::savedImageContainsTheMarker()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    DMMChart chart;
    showChart(chart);
    chart.setXTitle("Date/Time");
    chart.setYTitle("Value");
    addValues(chart, {1, 2, 3, 4});
    compose(chart);
    const QPoint origin = chart.plotArea().topLeft();
    sendMouse(chart, QEvent::MouseMove, origin + QPoint(500, 50));
    const QString file = dir.filePath("chart.png");
    QVERIFY(chart.savePixmap(file));
    QImage saved(file);
    QCOMPARE(saved.size(), kWidget);
    saved = saved.convertToFormat(QImage::Format_RGB32);
    QCOMPARE(countInColumn(saved, origin.x() + 500, kMarker), kPlot.height() + 0);
    QVERIFY(countColour(saved, kCurve) > 0);
    // The marker's label sits above the plot, in the marker colour.
    int labelPixels = 0;
    for (int y = 0; y < origin.y(); ++y)
        labelPixels += countInRow(saved, y, origin.x() + 502, saved.width() - 1, kMarker);
    QVERIFY(labelPixels > 0);
}

void TestChart::savingToAnUnknownFormatFails()
{
    QTemporaryDir dir;
    DMMChart chart;
    showChart(chart);
    QVERIFY(!chart.savePixmap(dir.filePath("chart.")));
    QVERIFY(!QFile::exists(dir.filePath("chart.")));
    QVERIFY(chart.savePixmap(dir.filePath("chart.jpg")));
}

void TestChart::titlesAndMarginsRedrawOnlyWhenTheyChange()
{
    DMMChart chart;
    showChart(chart);
    chart.setXTitle("Date/Time");
    compose(chart);
    qint64 base = chart.layer(DMMChart::BaseLayer).cacheKey();
    chart.setXTitle("Date/Time");
    chart.setDecimals(3);
    chart.setBottomMargin(66);
    compose(chart);
    QCOMPARE(chart.layer(DMMChart::BaseLayer).cacheKey(), base);
    chart.setYTitle("Value");
    compose(chart);
    QVERIFY(chart.layer(DMMChart::BaseLayer).cacheKey() != base);

    // Margins reach the plot area at the next resize.
    chart.setLeftMargin(88);
    base = chart.layer(DMMChart::BaseLayer).cacheKey();
    compose(chart);
    QVERIFY(chart.layer(DMMChart::BaseLayer).cacheKey() != base);
    QCOMPARE(chart.plotArea(), QRect(QPoint(60, 40), kPlot));
    chart.resize(kWidget + QSize(1, 1));
    compose(chart);
    QCOMPARE(chart.plotArea(),
             QRect(88, 40, kWidget.width() + 1 - 88 - 20, kWidget.height() + 1 - 66 - 40));
}

void TestChart::pointForAMissingLineIsDropped()
{
    DMMChart chart;
    QCOMPARE(chart.lineCount(), 1);
    chart.addPoint(new ChartPoint(QDateTime::currentDateTime(), 1, "1", "x"), 1);
    chart.addPoint(new ChartPoint(QDateTime::currentDateTime(), 1, "1", "x"), -1);
    QCOMPARE(chart.line(0)->pointCount(), 0);
    QVERIFY(!chart.line(1));
}

void TestChart::tinyChartWithOddValuesStillPaints()
{
    DMMChart chart;
    showChart(chart, QSize(30, 20));
    addValues(chart, {1, std::numeric_limits<double>::infinity(),
                      std::numeric_limits<double>::quiet_NaN(), 2});
    compose(chart);
    QCOMPARE(chart.grid().xDivisions, 0);
    QCOMPARE(chart.grid().linesAbove, 0);
    showChart(chart);
    compose(chart);
    QCOMPARE(chart.line(0)->max(), 2.0);
    QCOMPARE(chart.scale().span, 2.0);
    QVERIFY(chart.grid().linesAbove > 0);
}

QTEST_MAIN(TestChart)
#include "tst_chart.moc"
