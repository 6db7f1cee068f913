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
#include <memory>

// Scale, grid, hover and zoom computations, and the chart widget built on them.
class TestChart : public QObject
{
    Q_OBJECT
private slots:
    // computations
    void milliValuesGetThePrefixM();
    void zeroLineFollowsTheSigns_data();
    void zeroLineFollowsTheSigns();
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
    void init();
    void cleanup();
    void chartFollowsItsPointsAndPrefix();
    void zeroLineIsDrawnDotted();
    void curveLayerMatchesTheFullPolyline_data();
    void curveLayerMatchesTheFullPolyline();
    void curveFollowsNewPointsNewRangesAndAClear();
    void chartRedrawnAfterNewPointsLooksDrawnAfresh_data();
    void chartRedrawnAfterNewPointsLooksDrawnAfresh();
    void hoverShowsTheMarkerUntilTheTimerEnds();
    void dragRightDownZoomsAndZoomsFurther();
    void otherDragsAndClicksResetTheZoom_data();
    void otherDragsAndClicksResetTheZoom();
    void selectionRectangleIsDrawnWhileDragging();
    void pointsArrivingWhileZoomedKeepTheView();
    void clearChartKeepsTheZoom();
    void pressNeedsTheLeftButtonAndPoints();
    void savedImageContainsTheMarker();
    void titlesAndMarginsRedrawOnlyWhenTheyChange();
    void pointForAMissingLineIsDropped();
    void tinyChartWithOddValuesStillPaints();

private:
    // The case's chart, shown, holding the values, its layers composed.
    DMMChart &chartOf(const QVector<double> &values, const QSize &size = QSize(1080, 380));

    std::unique_ptr<DMMChart> m_chart;
};

namespace {

const QSize kPlot(1000, 300);
// Default margins: left 60, right 20, top 40, bottom 40.
const QSize kWidget(kPlot.width() + 80, kPlot.height() + 80);
const QRect kPlotArea(QPoint(60, 40), kPlot);
const QRgb kCurve = qRgb(250, 150, 0);
const QRgb kMarker = qRgb(0, 100, 250);
const QRgb kBlack = qRgb(0, 0, 0);
const QVector<double> kTenValues = {5, 1, 2, 3, 4, 5, 6, 7, 8, 9};

void addValues(DMMChart &chart, const QVector<double> &values)
{
    const QDateTime start(QDate(2024, 5, 6), QTime(7, 8, 9));
    for (double value : values) {
        const QDateTime time = start.addMSecs(125 * chart.line(0)->pointCount());
        const QString text = QString::number(value);
        chart.addPoint(
            new ChartPoint(time, value, text, ChartPoint::makeLabel(time, "DCV", text, "V")));
    }
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

// A left-button press and release between two points relative to the plot's top-left corner,
// with a move between them unless told otherwise.
void drag(DMMChart &chart, const QPoint &from, const QPoint &to, bool move = true)
{
    const QPoint origin = chart.plotArea().topLeft();
    sendMouse(chart, QEvent::MouseButtonPress, origin + from);
    if (move)
        sendMouse(chart, QEvent::MouseMove, origin + to);
    sendMouse(chart, QEvent::MouseButtonRelease, origin + to);
    chart.repaint();
}

void hoverAt(DMMChart &chart, const QPoint &inPlot)
{
    sendMouse(chart, QEvent::MouseMove, chart.plotArea().topLeft() + inPlot);
    chart.repaint();
}

int countInRow(const QImage &image, int y, int from, int to, QRgb colour)
{
    int count = 0;
    for (int x = from; x <= to; ++x)
        count += image.pixel(x, y) == colour;
    return count;
}

int countInColumn(const QImage &image, int x, QRgb colour)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
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
    const ChartLine *line = chart.line(0);
    QPolygon polyline;
    for (int i = chart.firstVisible(); i <= qMin(chart.lastVisible(), line->pointCount() - 1);
         ++i) {
        const int k = i - chart.firstVisible();
        polyline.append(
            QPoint(int(k * scale.xStep + chart.plotArea().x()),
                   int(chart.zeroLine() - scale.yScale * line->value(i) * scale.multiplier)));
    }
    QPixmap pixmap = chart.layer(DMMChart::BaseLayer).copy();
    QPainter painter(&pixmap);
    painter.setPen(QPen(QColor(kCurve)));
    painter.drawPolyline(polyline);
    painter.end();
    return pixmap.toImage().convertToFormat(QImage::Format_RGB32);
}

QStringList markTexts(const QVector<ChartGrid::ValueMark> &marks)
{
    QStringList texts;
    for (const ChartGrid::ValueMark &mark : marks)
        texts << mark.text;
    return texts;
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
    QCOMPARE(scale.zeroLine(kPlotArea), kPlotArea.bottom());

    const ChartGrid grid = ChartGrid::compute(scale, kPlot, true);
    QCOMPARE(grid.yStep, 0.8);
    QCOMPARE(grid.linesAbove, 6);
    QCOMPARE(grid.linesBelow, 0);
    const QVector<ChartGrid::ValueMark> marks =
        grid.valueMarks(kPlotArea.bottom(), 2, scale.prefix);
    QCOMPARE(markTexts(marks),
             QStringList({"0.00m", "0.80m", "1.60m", "2.40m", "3.20m", "4.00m", "4.80m", "0.00m"}));
    QCOMPARE(marks.at(6).y, int(kPlotArea.bottom() - 6 * grid.yDivision));
    QCOMPARE(marks.last().y, kPlotArea.bottom());

    const ChartScale plain = ChartScale::compute(0.0042, 0.0051, false, kPlot, 0, 1);
    QCOMPARE(plain.prefix + QString::number(plain.multiplier) + QString::number(plain.yMax),
             QStringLiteral(" 10.0051"));
}

void TestChart::zeroLineFollowsTheSigns_data()
{
    QTest::addColumn<double>("min");
    QTest::addColumn<double>("max");
    QTest::addColumn<double>("span");
    QTest::addColumn<int>("zeroBelowTop");
    QTest::addColumn<int>("linesAbove");
    QTest::addColumn<int>("linesBelow");
    QTest::addColumn<QStringList>("marks"); // the zero mark, those above it, those from it down
    QTest::newRow("negative: zero at the top")
        << -5.0 << -2.0 << 5.0 << 0 << 0 << 10
        << QStringList{"0.0 ",  "0.0 ",  "-0.5 ", "-1.0 ", "-1.5 ", "-2.0 ",
                       "-2.5 ", "-3.0 ", "-3.5 ", "-4.0 ", "-4.5 ", "-5.0 "};
    QTest::newRow("mixed: zero a quarter up")
        << -1.0 << 3.0 << 4.0 << 225 << 6 << 2
        << QStringList{"0.0 ", "0.5 ", "1.0 ", "1.5 ",  "2.0 ",
                       "2.5 ", "3.0 ", "0.0 ", "-0.5 ", "-1.0 "};
}

void TestChart::zeroLineFollowsTheSigns()
{
    QFETCH(double, min);
    QFETCH(double, max);
    QFETCH(int, zeroBelowTop);
    QFETCH(QStringList, marks);
    const ChartScale scale = ChartScale::compute(min, max, false, kPlot, 0, 1);
    QTEST(scale.span, "span");
    QCOMPARE(scale.zeroLine(kPlotArea), kPlotArea.top() + zeroBelowTop);
    const ChartGrid grid = ChartGrid::compute(scale, kPlot, true);
    QCOMPARE(grid.yStep, 0.5);
    QTEST(grid.linesAbove, "linesAbove");
    QTEST(grid.linesBelow, "linesBelow");
    const QStringList texts =
        markTexts(grid.valueMarks(scale.zeroLine(kPlotArea), 1, scale.prefix));
    QCOMPARE(texts, marks);
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
    QCOMPARE(scale.zeroLine(kPlotArea), kPlotArea.top() + kPlot.height() / 2);
    const ChartGrid grid = ChartGrid::compute(scale, kPlot, false);
    QCOMPARE(grid.xDivisions + grid.linesAbove + grid.linesBelow, 0);
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
    QFETCH(double, yScale);
    ChartScale scale;
    scale.xStep = xStep;
    scale.yScale = yScale;
    scale.yMax = 1;
    const ChartGrid grid = ChartGrid::compute(scale, kPlot, true);
    QTEST(grid.samplesPerDivision, "samplesPerDivision");
    QTEST(grid.yStep, "yStep");
    QVERIFY(grid.samplesPerDivision * xStep >= 80);
    QVERIFY(grid.yStep * yScale >= 30);
}

// A chart dock squeezed below the margins gives a negative plot size: no endless step search.
void TestChart::squeezedPlotHasNoDivisions()
{
    const QSize squeezed(-20, -30);
    const ChartScale scale = ChartScale::compute(1, 5, false, squeezed, 0, 9);
    const ChartGrid grid = ChartGrid::compute(scale, squeezed, true);
    QCOMPARE(grid.xDivisions + grid.linesAbove + grid.linesBelow, 0);
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
    QTEST(ScreenPositions(xStep, count).nearest(x), "nearest");
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
    const ScreenPositions::Span span = ScreenPositions(1000.0 / 10, count).dragSpan(startX, endX);
    QTEST(span.first, "first");
    QTEST(span.last, "last");
}

void TestChart::init()
{
    m_chart = std::make_unique<DMMChart>();
}

void TestChart::cleanup()
{
    m_chart.reset();
}

DMMChart &TestChart::chartOf(const QVector<double> &values, const QSize &size)
{
    // Shown, so that painting it does not replay its resize as a hidden widget's would.
    m_chart->resize(size);
    m_chart->show();
    if (!QTest::qWaitForWindowExposed(m_chart.get()))
        qWarning("the chart was not shown");
    addValues(*m_chart, values);
    m_chart->repaint();
    return *m_chart;
}

void TestChart::chartFollowsItsPointsAndPrefix()
{
    m_chart->setAutoPrefix(true);
    DMMChart &chart = chartOf({0.0042, 0.0051});
    QCOMPARE(chart.plotArea(), kPlotArea);
    QCOMPARE(chart.scale().prefix, QStringLiteral("m"));
    QCOMPARE(chart.grid().linesAbove, 6);
    QCOMPARE(chart.lastVisible(), 1);
    QCOMPARE(chart.line(0)->min(), 0.0042);
    QCOMPARE(chart.line(0)->max(), 0.0051);
    QCOMPARE(chart.line(0)->screenPositions().at(1), 500);
    // The top sample sits on the plot's top edge: (int)(bottom - 58.8 * 0.0051 * 1000).
    const int top = int(chart.zeroLine() - chart.scale().yScale * 0.0051 * 1000);
    QCOMPARE(layerImage(chart, DMMChart::CurvesLayer).pixel(60 + 500, top), kCurve);

    chart.setAutoPrefix(false);
    chart.repaint();
    QCOMPARE(chart.scale().prefix, QStringLiteral(" "));
    QCOMPARE(chart.scale().yMax, 0.0051);
}

void TestChart::zeroLineIsDrawnDotted()
{
    DMMChart &chart = chartOf({-1, 3});
    const QRect plot = chart.plotArea();
    QCOMPARE(chart.zeroLine(), plot.top() + 225);
    const QImage base = layerImage(chart, DMMChart::BaseLayer);
    // One pixel in three along the dotted line; the rows beside it carry no line.
    const int onLine = countInRow(base, chart.zeroLine(), plot.left() + 1, plot.right(), kBlack);
    QVERIFY2(onLine > plot.width() / 4 && onLine < plot.width() / 2,
             qPrintable(QString::number(onLine)));
    QVERIFY(countInRow(base, chart.zeroLine() + 1, plot.left() + 1, plot.right(), kBlack) < 40);
    // The tick left of the axis is solid, and no curve is drawn on the axes layer.
    QCOMPARE(base.pixel(plot.left() - 3, chart.zeroLine()), kBlack);
    QCOMPARE(countColour(base, kCurve), 0);
}

void TestChart::curveLayerMatchesTheFullPolyline_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("zoom");
    QTest::addColumn<bool>("prefix");
    QTest::newRow("few") << 7 << false << false;
    QTest::newRow("all below zero") << 2 << false << false;
    QTest::newRow("dense") << 30000 << false << true;
    QTest::newRow("dense zoomed") << 30000 << true << false;
    QTest::newRow("denser than columns zoomed") << 5000 << true << true;
}

void TestChart::curveLayerMatchesTheFullPolyline()
{
    QFETCH(int, count);
    QFETCH(bool, zoom);
    QFETCH(bool, prefix);
    m_chart->setAutoPrefix(prefix);
    QVector<double> values;
    for (int i = 0; i < count; ++i)
        values.append(count == 2 ? -2.0 - 3 * i
                                 : 0.02 * std::sin(i * 0.01) + 0.003 * std::sin(i * 1.7) - 0.005);
    DMMChart &chart = chartOf(values);
    if (zoom)
        drag(chart, QPoint(173, 10), QPoint(612, 200));
    QCOMPARE(chart.isZoomed(), zoom);
    if (count == 2) // all below zero: the zero line at the top, the curve under it
        QCOMPARE(chart.zeroLine(), chart.plotArea().top());
    QCOMPARE(differingFromFullPolyline(chart), 0);
    QVERIFY(countColour(layerImage(chart, DMMChart::CurvesLayer), kCurve) > 0);
}

// A growing recording is drawn again after each new point; what the chart works out once for the
// points already drawn must not outlive a new value range or a clear.
void TestChart::curveFollowsNewPointsNewRangesAndAClear()
{
    // A plot 100 pixels wide: hundreds of samples to a column.
    DMMChart &chart = chartOf(wave(20000, 0.001), QSize(180, kWidget.height()));
    QCOMPARE(differingFromFullPolyline(chart), 0);
    for (int more : {1, 63, 64, 5000}) {
        addValues(chart, wave(more + 2, 0.002).mid(2));
        chart.repaint();
        QCOMPARE(differingFromFullPolyline(chart), 0);
    }
    addValues(chart, {1.5});
    chart.repaint();
    QCOMPARE(chart.scale().yMax, 1.5);
    QCOMPARE(differingFromFullPolyline(chart), 0);

    // The same range again, with other values in it.
    chart.clearChart();
    addValues(chart, wave(25000, 0.001));
    chart.repaint();
    const QImage first = layerImage(chart, DMMChart::CurvesLayer);
    chart.clearChart();
    addValues(chart, wave(25000, 0.003));
    chart.repaint();
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
    m_chart->setAutoPrefix(true);
    DMMChart &growing = chartOf({}, size);
    QVector<double> all;
    for (int batch = 0; batch < values.size(); ++batch) {
        // Each batch a wiggle around one value, long enough to span a whole time division.
        QVector<double> more;
        for (int i = 0; i < 700; ++i)
            more.append(values.at(batch) * (1 + 0.01 * std::sin(i * 0.3)));
        addValues(growing, more);
        growing.repaint();
        all += more;

        // Shown only with all its points, so that its first paint is the one compared.
        DMMChart fresh;
        fresh.setAutoPrefix(true);
        addValues(fresh, all);
        fresh.resize(size);
        fresh.show();
        QVERIFY(QTest::qWaitForWindowExposed(&fresh));
        fresh.repaint();
        QVERIFY2(layerImage(growing, DMMChart::FinalLayer) ==
                     layerImage(fresh, DMMChart::FinalLayer),
                 qPrintable(QStringLiteral("after %1 points").arg(all.size())));
    }
}

void TestChart::hoverShowsTheMarkerUntilTheTimerEnds()
{
    DMMChart &chart = chartOf({1, 2, 3, 4});
    const int left = chart.plotArea().left();
    const int height = chart.plotArea().height();
    // Samples sit 250 pixels apart; 125 is half-way between the first two.
    hoverAt(chart, QPoint(125, 50));
    QCOMPARE(chart.hoverIndex(), 0);
    QVERIFY(chart.isMarkerVisible());
    const QTimer *timer = chart.findChild<QTimer *>();
    QVERIFY(timer && timer->isActive());
    QCOMPARE(timer->interval(), 6000);
    QCOMPARE(countInColumn(layerImage(chart, DMMChart::FinalLayer), left, kMarker), height);

    hoverAt(chart, QPoint(626, 50));
    QCOMPARE(chart.hoverIndex(), 3);
    const QImage moved = layerImage(chart, DMMChart::FinalLayer);
    QCOMPARE(countInColumn(moved, left + 750, kMarker), height);
    QCOMPARE(countInColumn(moved, left, kMarker), 0);

    chart.slotTmrIndicatorTimeout();
    QVERIFY(!chart.isMarkerVisible());
    chart.repaint();
    QCOMPARE(countColour(layerImage(chart, DMMChart::FinalLayer), kMarker), 0);

    // A move that stays on the same sample hides the marker.
    hoverAt(chart, QPoint(10, 50));
    QVERIFY(chart.isMarkerVisible());
    hoverAt(chart, QPoint(20, 50));
    QVERIFY(!chart.isMarkerVisible());
    QCOMPARE(chart.hoverIndex(), 0);
    QCOMPARE(countColour(layerImage(chart, DMMChart::FinalLayer), kMarker), 0);
}

void TestChart::dragRightDownZoomsAndZoomsFurther()
{
    DMMChart &chart = chartOf(kTenValues);
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
    QTest::addColumn<bool>("move");
    QTest::newRow("right to left") << QPoint(600, 10) << QPoint(200, 200) << true;
    QTest::newRow("upward") << QPoint(200, 200) << QPoint(600, 10) << true;
    QTest::newRow("click") << QPoint(300, 100) << QPoint(300, 100) << true;
    QTest::newRow("inside one gap") << QPoint(410, 10) << QPoint(480, 200) << true;
    // A press starts a fresh rectangle: a release without a move must not reuse the earlier
    // drag's end and zoom again.
    QTest::newRow("click without a move") << QPoint(20, 20) << QPoint(20, 20) << false;
}

void TestChart::otherDragsAndClicksResetTheZoom()
{
    QFETCH(QPoint, from);
    QFETCH(QPoint, to);
    QFETCH(bool, move);
    DMMChart &chart = chartOf(kTenValues);
    drag(chart, QPoint(100, 10), QPoint(900, 200));
    QVERIFY(chart.isZoomed());
    drag(chart, from, to, move);
    QVERIFY(!chart.isZoomed());
    QCOMPARE(chart.firstVisible(), 0);
    QCOMPARE(chart.lastVisible(), 9);
}

void TestChart::selectionRectangleIsDrawnWhileDragging()
{
    DMMChart &chart = chartOf({1, 2, 3});
    const QPoint origin = chart.plotArea().topLeft();
    sendMouse(chart, QEvent::MouseButtonPress, origin + QPoint(100, 30));
    sendMouse(chart, QEvent::MouseMove, origin + QPoint(400, 250));
    QVERIFY(chart.isSelecting());
    chart.repaint();
    const int top = countInRow(layerImage(chart, DMMChart::SelectionLayer), origin.y() + 30,
                               origin.x() + 101, origin.x() + 399, kBlack);
    QVERIFY2(top > 60 && top < 200, qPrintable(QString::number(top)));
    // A drag outside the plot is clamped to its edges.
    sendMouse(chart, QEvent::MouseMove, QPoint(kWidget.width() - 1, kWidget.height() - 1));
    chart.repaint();
    const int right = countInColumn(layerImage(chart, DMMChart::SelectionLayer),
                                    origin.x() + kPlot.width(), kBlack);
    QVERIFY2(right > 60 && right < 200, qPrintable(QString::number(right)));
    sendMouse(chart, QEvent::MouseButtonRelease, origin);
    chart.repaint();
    QVERIFY(!chart.isSelecting());
    QCOMPARE(layerImage(chart, DMMChart::SelectionLayer), layerImage(chart, DMMChart::CurvesLayer));
}

void TestChart::pointsArrivingWhileZoomedKeepTheView()
{
    DMMChart &chart = chartOf(kTenValues);
    drag(chart, QPoint(200, 10), QPoint(600, 200));
    const qint64 base = chart.layer(DMMChart::BaseLayer).cacheKey();
    addValues(chart, {100, -100, 50});
    chart.repaint();
    QCOMPARE(chart.layer(DMMChart::BaseLayer).cacheKey(), base);
    QCOMPARE(chart.firstVisible(), 2);
    QCOMPARE(chart.lastVisible(), 5);
    QCOMPARE(chart.line(0)->pointCount(), 13);

    // The next click shows every sample again.
    drag(chart, QPoint(5, 5), QPoint(5, 5), false);
    QCOMPARE(chart.firstVisible(), 0);
    QCOMPARE(chart.lastVisible(), 12);
    QCOMPARE(chart.line(0)->max(), 100.0);
}

void TestChart::clearChartKeepsTheZoom()
{
    DMMChart &chart = chartOf(kTenValues);
    drag(chart, QPoint(200, 10), QPoint(600, 200));
    chart.clearChart();
    chart.repaint();
    QVERIFY(chart.isZoomed());
    QCOMPARE(chart.firstVisible(), 2);
    QCOMPARE(chart.lastVisible(), 5);
    QCOMPARE(chart.line(0)->pointCount(), 0);
    QCOMPARE(chart.line(0)->screenPositions().count(), 0);
    // Samples past the zoomed stretch's start are shown; those before it are not.
    addValues(chart, {1, 2, 3, 4});
    chart.setYTitle("Value");
    chart.repaint();
    QCOMPARE(chart.line(0)->screenPositions().count(), 2);
    QCOMPARE(chart.line(0)->min(), 3.0);
    QCOMPARE(chart.line(0)->max(), 4.0);
}

void TestChart::pressNeedsTheLeftButtonAndPoints()
{
    DMMChart &chart = chartOf({});
    const QPoint inside = chart.plotArea().center();
    sendMouse(chart, QEvent::MouseButtonPress, inside);
    QVERIFY(!chart.isSelecting());
    addValues(chart, {1, 2});
    chart.repaint();
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
    m_chart->setXTitle("Date/Time");
    m_chart->setYTitle("Value");
    DMMChart &chart = chartOf({1, 2, 3, 4});
    const QPoint origin = chart.plotArea().topLeft();
    hoverAt(chart, QPoint(500, 50));
    const QString file = dir.filePath("chart.png");
    QVERIFY(chart.savePixmap(file));
    const QImage saved = QImage(file).convertToFormat(QImage::Format_RGB32);
    QCOMPARE(saved.size(), kWidget);
    QCOMPARE(countInColumn(saved, origin.x() + 500, kMarker), kPlot.height());
    QVERIFY(countColour(saved, kCurve) > 0);
    // The marker's label sits above the plot, in the marker colour.
    int labelPixels = 0;
    for (int y = 0; y < origin.y(); ++y)
        labelPixels += countInRow(saved, y, origin.x() + 502, saved.width() - 1, kMarker);
    QVERIFY(labelPixels > 0);
    // A name without a known format writes nothing.
    QVERIFY(!chart.savePixmap(dir.filePath("chart.")));
    QVERIFY(!QFile::exists(dir.filePath("chart.")));
}

void TestChart::titlesAndMarginsRedrawOnlyWhenTheyChange()
{
    m_chart->setXTitle("Date/Time");
    DMMChart &chart = chartOf({});
    qint64 base = chart.layer(DMMChart::BaseLayer).cacheKey();
    chart.setXTitle("Date/Time");
    chart.setDecimals(3);
    chart.setBottomMargin(66);
    chart.repaint();
    QCOMPARE(chart.layer(DMMChart::BaseLayer).cacheKey(), base);
    chart.setYTitle("Value");
    chart.repaint();
    QVERIFY(chart.layer(DMMChart::BaseLayer).cacheKey() != base);

    // Margins reach the plot area at the next resize.
    chart.setLeftMargin(88);
    base = chart.layer(DMMChart::BaseLayer).cacheKey();
    chart.repaint();
    QVERIFY(chart.layer(DMMChart::BaseLayer).cacheKey() != base);
    QCOMPARE(chart.plotArea(), kPlotArea);
    chart.resize(kWidget + QSize(1, 1));
    chart.repaint();
    QCOMPARE(chart.plotArea(),
             QRect(88, 40, kWidget.width() + 1 - 88 - 20, kWidget.height() + 1 - 66 - 40));
}

void TestChart::pointForAMissingLineIsDropped()
{
    QCOMPARE(m_chart->lineCount(), 1);
    m_chart->addPoint(new ChartPoint(QDateTime::currentDateTime(), 1, "1", "x"), 1);
    m_chart->addPoint(new ChartPoint(QDateTime::currentDateTime(), 1, "1", "x"), -1);
    QCOMPARE(m_chart->line(0)->pointCount(), 0);
    QVERIFY(!m_chart->line(1));
}

void TestChart::tinyChartWithOddValuesStillPaints()
{
    const double infinity = std::numeric_limits<double>::infinity();
    DMMChart &chart =
        chartOf({1, infinity, std::numeric_limits<double>::quiet_NaN(), 2}, QSize(30, 20));
    QCOMPARE(chart.grid().xDivisions + chart.grid().linesAbove, 0);
    chartOf({});
    QCOMPARE(chart.line(0)->max(), 2.0);
    QCOMPARE(chart.scale().span, 2.0);
    QVERIFY(chart.grid().linesAbove > 0);
}

QTEST_MAIN(TestChart)
#include "tst_chart.moc"
