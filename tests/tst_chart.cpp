#include "record/chartgrid.h"
#include "record/chartline.h"
#include "record/chartpoint.h"
#include "record/chartscale.h"
#include "record/curvedecimator.h"
#include "record/dmmchart.h"
#include "record/limitalarm.h"
#include "record/readingstore.h"
#include "tests/recordsamples.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QRandomGenerator>
#include <QtTest>
#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>

namespace {

const QSize kPlot(1000, 300); // in a chart of 1080 x 380 with the default margins
const QRect kPlotArea(QPoint(60, 40), kPlot);
const QRgb kCurve = qRgb(250, 150, 0);

void addValues(DMMChart &chart, const QVector<double> &values,
               const QDateTime &start = QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9)))
{
    for (double value : values) {
        const QDateTime time = start.addMSecs(125 * chart.line(0)->pointCount());
        const QString text = QString::number(value);
        chart.addPoint(
            new ChartPoint(time, value, text, ChartPoint::makeLabel(time, "DCV", text, "V")));
    }
}

// A mouse event at a point relative to the plot's top-left corner.
void sendMouse(DMMChart &chart, QEvent::Type type, const QPoint &inPlot)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, chart.plotArea().topLeft() + inPlot, button,
                      type == QEvent::MouseButtonPress ? button : Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&chart, &event);
    chart.repaint();
}

void drag(DMMChart &chart, const QPoint &from, const QPoint &to, bool move = true)
{
    sendMouse(chart, QEvent::MouseButtonPress, from);
    if (move)
        sendMouse(chart, QEvent::MouseMove, to);
    sendMouse(chart, QEvent::MouseButtonRelease, to);
}

QImage layerImage(const DMMChart &chart, DMMChart::Layer layer = DMMChart::FinalLayer)
{
    return chart.layer(layer).toImage().convertToFormat(QImage::Format_RGB32);
}

// The curves layer as the plain full polyline through every visible sample would draw it.
QImage fullPolylineLayer(const DMMChart &chart, bool cut)
{
    ChartLine::Mapping mapping;
    mapping.xStep = chart.scale().xStep;
    mapping.plotX = chart.plotArea().x();
    mapping.zeroLine = chart.zeroLine();
    mapping.yScale = chart.scale().yScale;
    mapping.multiplier = chart.scale().multiplier;
    QImage image = layerImage(chart, DMMChart::BaseLayer);
    QPainter painter(&image);
    painter.setPen(QPen(QColor(kCurve)));
    if (cut) // by a narrowed value axis
        painter.setClipRect(chart.plotArea().adjusted(0, 0, 1, 1));
    painter.drawPolyline(
        chart.line(0)->fullCurve(chart.firstVisible(), chart.lastVisible(), mapping));
    return image;
}

ChartPoint reading(const QDateTime &time, double value, const QString &text,
                   const QString &function, const QString &unit)
{
    return ChartPoint(time, value, text, ChartPoint::makeLabel(time, function, text, unit));
}

void compareSample(const ReadingStore &store, int index, const ChartPoint &expected)
{
    QCOMPARE(store.value(index), expected.value());
    QCOMPARE(store.time(index), expected.time());
    QCOMPARE(store.time(index).timeSpec(), expected.time().timeSpec());
    QCOMPARE(store.valueText(index), expected.valueText());
    QCOMPARE(store.label(index), expected.label());
}

QVector<QPoint> thin(const QVector<int> &rows, double xStep, int plotX)
{
    return CurveDecimator().thin(rows.size(), xStep, plotX, [&rows](int from, int to, auto visit) {
        for (int k = from; k < to; ++k)
            visit(rows.at(k));
    });
}

QImage render(const QVector<QPoint> &points, const QSize &size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setPen(QPen(QColor(250, 150, 0)));
    painter.drawPolyline(points);
    return image;
}

// Both curves rendered with room around the plot; true when every pixel is the same.
bool curvesMatch(const QVector<int> &rows, int plotWidth, int plotHeight)
{
    const int plotX = 7;
    const double xStep = rows.isEmpty() ? 0 : double(plotWidth) / rows.size();
    QVector<QPoint> full;
    for (int k = 0; k < rows.size(); ++k)
        full.append(QPoint(int(k * xStep + plotX), rows.at(k)));
    const QSize size(plotWidth + 2 * plotX, plotHeight + 4);
    return render(full, size) == render(thin(rows, xStep, plotX), size);
}

} // namespace

// Scale, grid, hover and zoom computations, the compact sample store, the thinned curve, and the
// chart widget built on them.
class TestChart : public QObject
{
    Q_OBJECT
    std::unique_ptr<DMMChart> m_chart;

    // The case's chart, shown (so that painting does not replay its resize), holding the values.
    DMMChart &chartOf(const QVector<double> &values, const QSize &size = QSize(1080, 380))
    {
        m_chart->resize(size);
        m_chart->show();
        if (!QTest::qWaitForWindowExposed(m_chart.get()))
            qWarning("the chart was not shown");
        addValues(*m_chart, values);
        m_chart->repaint();
        return *m_chart;
    }

private slots:
    void init() { m_chart = std::make_unique<DMMChart>(); }

    void zeroLineAndMarksFollowTheValues_data()
    {
        QTest::addColumn<double>("min");
        QTest::addColumn<double>("max");
        QTest::addColumn<bool>("autoPrefix");
        QTest::addColumn<int>("decimals");
        QTest::addColumn<bool>("fit");
        QTest::addColumn<int>("height"); // of the plot
        // span, zero below the top, y step, lines above and below (fitted: lowest and highest)
        QTest::addColumn<QString>("grid");
        QTest::addColumn<QString>("marks"); // the zero mark, those above it, those from it down
        QTest::newRow("millivolts")
            << 0.0042 << 0.0051 << true << 2 << false << 300 << "5.1 299 0.8 6 0"
            << "0.00m|0.80m|1.60m|2.40m|3.20m|4.00m|4.80m|0.00m";
        QTest::newRow("mixed: zero a quarter up")
            << -1.0 << 3.0 << false << 1 << false << 300 << "4 225 0.5 6 2"
            << "0.0 |0.5 |1.0 |1.5 |2.0 |2.5 |3.0 |0.0 |-0.5 |-1.0 ";
        // Fitted: 5 % of the spread either side; the marks are the step's multiples inside.
        QTest::newRow("5 V, 30 mV drift, fit")
            << 4.97 << 5.03 << false << 2 << true << 300 << "0.066 22877 0.01 497 503"
            << "4.97 |4.98 |4.99 |5.00 |5.01 |5.02 |5.03 ";
        // At least three labels: the step that leaves room for labels has one line in the range,
        // the next smaller one of the list has more; on a low plot every other is labelled.
        QTest::newRow("4.941 to 5.044 V, fit")
            << 4.941 << 5.044 << false << 2 << true << 150 << "0.1133 6684 0.01 494 504"
            << "4.94 ||4.96 ||4.98 ||5.00 ||5.02 ||5.04 ";
        QTest::newRow("50.03 to 50.12 Hz, fit")
            << 50.03 << 50.12 << true << 2 << true << 200 << "0.099 101261 0.01 5003 5012"
            << "50.03 |50.04 |50.05 |50.06 |50.07 |50.08 |50.09 |50.10 |50.11 |50.12 ";
        QTest::newRow("4.692 to 4.703 kOhm, fit")
            << 4692.0 << 4703.0 << true << 2 << true << 300 << "0.0121 116616 0.001 4692 4703"
            << "4.692k|4.693k|4.694k|4.695k|4.696k|4.697k|4.698k|4.699k|4.700k|4.701k|4.702k|"
               "4.703k";
    }

    void zeroLineAndMarksFollowTheValues()
    {
        QFETCH(double, min);
        QFETCH(double, max);
        QFETCH(bool, autoPrefix);
        QFETCH(int, decimals);
        QFETCH(bool, fit);
        QFETCH(int, height);
        const QRect area(kPlotArea.topLeft(), QSize(kPlot.width(), height));
        const ChartScale scale = fit ? ChartScale::fit(min, max, autoPrefix, area.size(), 0, 1)
                                     : ChartScale::compute(min, max, autoPrefix, area.size(), 0, 1);
        const int zero = scale.zeroLine(area);
        const ChartGrid grid = ChartGrid::compute(scale, area.size(), true);
        QTEST(QStringLiteral("%1 %2 %3 %4 %5")
                  .arg(scale.span)
                  .arg(zero - area.top())
                  .arg(grid.yStep)
                  .arg(fit ? grid.lowestLine : grid.linesAbove)
                  .arg(fit ? grid.highestLine : grid.linesBelow),
              "grid");
        QStringList texts;
        const auto marks = grid.valueMarks(zero, decimals, scale.prefix);
        for (const ChartGrid::ValueMark &mark : marks)
            texts << mark.text;
        QTEST(texts.join('|'), "marks");
        const int top = fit ? grid.highestLine : grid.linesAbove;
        QCOMPARE(marks.at(fit ? marks.size() - 1 : top).y, int(zero - top * grid.yDivision));
        // Every mark lies on the plot.
        for (const ChartGrid::ValueMark &mark : marks)
            QVERIFY(mark.y >= area.top() && mark.y <= area.bottom() + 1);
    }

    void renderedCurveIsTheFullPolyline_data()
    {
        QTest::addColumn<bool>("zoomed");
        QTest::addColumn<bool>("fit");
        QTest::newRow("whole") << false << false;
        QTest::newRow("zoomed") << true << false;
        QTest::newRow("zoomed, fit") << true << true;
        // The same rows after other readings took their place: nothing summed up of the ones
        // before may be reused.
        QTest::newRow("other readings in place") << false << false;
        // Summed up in many slices, after a reading widened the axis and after a zoom undone.
        QTest::newRow("in slices") << false << false;
    }

    // Thousands of samples to a pixel column: the thinned curve sets the pixels of the full
    // polyline, no more, no fewer.
    void renderedCurveIsTheFullPolyline()
    {
        QFETCH(bool, zoomed);
        const bool fit = QTest::currentDataTag() == QLatin1String("zoomed, fit");
        m_chart->setFitValues(fit);
        QVector<double> values;
        for (int i = 0; i < 40000; ++i)
            values.append(5 + 0.03 * std::sin(i * 0.3) + (i % 7000 == 5 ? 1 : 0));
        // Narrow, so that a column spans several of the chunks the thinning sums up.
        const bool replaced = QTest::currentDataTag() == QLatin1String("other readings in place");
        const bool sliced = QTest::currentDataTag() == QLatin1String("in slices");
        if (sliced)
            m_chart->setRedrawSlice(std::chrono::milliseconds(0));
        DMMChart &chart = chartOf(values, replaced ? QSize(280, 380) : QSize(1080, 380));
        if (sliced)
            redrawInSlices(chart);
        if (zoomed)
            drag(chart, QPoint(201, 40), QPoint(733, 250));
        ReadingStore swinging; // a wider swing under the same peaks: the same axis
        if (replaced) {
            for (const double value : values)
                swinging.append(ChartPoint(QDateTime(), value > 5.5 ? value : 5 + 30 * (value - 5),
                                           QString(), QString()));
            chart.showReadings(&swinging);
            chart.repaint();
        }
        QCOMPARE(chart.isZoomed(), zoomed);
        QCOMPARE(layerImage(chart, DMMChart::CurvesLayer), fullPolylineLayer(chart, fit));
        chart.showReadings(nullptr);
    }

    // A chart growing reading by reading keeps its axes while they stay the same; painted at any
    // point, it matches a chart given the same readings at once, also after a Delete and a new
    // recording of other times.
    void grownChartMatchesOneGivenAllAtOnce()
    {
        DMMChart &grown = chartOf({});
        for (const int day : {6, 7}) {
            grown.clearChart();
            const QDateTime start(QDate(2024, 5, day), QTime(7, 8, 9));
            QVector<double> values;
            for (int i = 0; i < 400; ++i) {
                values.append(i % 50 == 0 ? 1 + i / 50 : 1); // the value axis widens now and then
                addValues(grown, {values.last()}, start);
                grown.repaint();
                if (i % 37 != 0)
                    continue;
                DMMChart fresh;
                fresh.resize(grown.size());
                addValues(fresh, values, start);
                fresh.grab();
                QCOMPARE(layerImage(grown), layerImage(fresh));
            }
        }
    }

    // Each alarmed sample gets a red ring, the first one in the plot included; marked anew
    // against other limits, the rings follow.
    void alarmedSamplesAreRinged()
    {
        DMMChart &chart = chartOf({5, 5.2});
        const auto ringPixels = [&chart] {
            const QImage image = layerImage(chart, DMMChart::CurvesLayer);
            int red = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    red += image.pixel(x, y) == qRgb(255, 0, 0);
            return red;
        };
        QCOMPARE(ringPixels(), 0);
        ChartPoint *point = new ChartPoint(QDateTime::currentDateTime(), 5.4, "5.4", "5.4 V");
        point->setAlarm(true);
        chart.addPoint(point);
        chart.repaint();
        const int oneRing = ringPixels();
        QVERIFY(oneRing > 0);
        LimitAlarm limits;
        limits.setLimits(std::nullopt, 5.1); // 5.2 goes out too
        chart.markAlarms(limits);
        QTRY_COMPARE(ringPixels(), 2 * oneRing);
    }

    void dragsZoomOrResetTheZoom_data()
    {
        QTest::addColumn<QPoint>("from");
        QTest::addColumn<QPoint>("to"); // the same point: a click
        QTest::addColumn<int>("first"); // the samples in view after the drag
        QTest::addColumn<int>("last");
        // Positions 0 250 500 750: from 250 to the right end keeps samples 1 ... 3 of the view.
        QTest::newRow("right-down zooms further") << QPoint(250, 10) << QPoint(1000, 200) << 3 << 5;
        QTest::newRow("right to left") << QPoint(600, 10) << QPoint(200, 200) << 0 << 9;
        // A release without a move must not reuse the earlier drag's end and zoom again.
        QTest::newRow("click") << QPoint(20, 20) << QPoint(20, 20) << 0 << 9;
        // No drag: the window ends the zoom, as after a Delete.
        QTest::newRow("reset from outside") << QPoint() << QPoint() << 0 << 9;
    }

    void dragsZoomOrResetTheZoom()
    {
        QFETCH(QPoint, from);
        QFETCH(QPoint, to);
        QFETCH(int, first);
        DMMChart &chart = zoomedOnSamples2To5();
        QVERIFY(chart.isZoomed() && !chart.isSelecting());
        QCOMPARE(QPoint(chart.firstVisible(), chart.lastVisible()), QPoint(2, 5));
        QCOMPARE(chart.scale().xStep, 250.0);
        QCOMPARE(QPointF(chart.line(0)->min(), chart.line(0)->max()), QPointF(2, 5));
        QSignalSpy viewChanges(&chart, &DMMChart::viewChanged); // the figures follow the view
        if (from.isNull()) {
            chart.resetZoom();
            chart.repaint();
        } else {
            drag(chart, from, to, from != to);
        }
        QCOMPARE(viewChanges.count(), 1);
        QCOMPARE(chart.isZoomed(), first > 0);
        QCOMPARE(chart.firstVisible(), first);
        QTEST(chart.lastVisible(), "last");
    }

    // The compact sample store gives back every sample exactly as it was added.
    void samplesComeBackExactly()
    {
        // Hover points of every function, every 125 ms from just before midnight over three
        // storage blocks.
        recordsamples::RecordSetup setup;
        const QDateTime start(QDate(2024, 3, 30), QTime(23, 59, 58, 900));
        const QList<DmmData *> readings =
            recordsamples::everyRowReadings(setup.defaultTable, setup.eTable, start);
        ReadingStore store;
        QVector<ChartPoint> added;
        for (int i = 0; i < 3 * ReadingStore::kBlockSize + 17; ++i) {
            const DmmData &r = *readings.at(i % readings.size());
            added.append(reading(start.addMSecs(125 * i), r.value(), r.valueText(),
                                 r.functionName(), r.unitText()));
            store.append(added.last());
        }
        qDeleteAll(readings);
        QCOMPARE(store.count(), added.size());
        for (int i = 0; i < added.size(); ++i)
            compareSample(store, i, added.at(i));
    }

    // Ranges, figures and alarms of stretches across block edges, beyond both ends and reversed,
    // over values that are not finite (overloads); a 5 V signal with millivolt noise comes first,
    // so that a spread a thousand times below the mean must survive the merging of blocks. Then
    // once more after all readings were marked anew against limits, in steps, while more were
    // appended.
    void valueRangeAndFiguresMatchAScanOfTheValues()
    {
        QRandomGenerator random(5);
        ReadingStore store;
        QVector<double> values = {std::nan(""), 2, HUGE_VAL, -3, -HUGE_VAL};
        const int block = ReadingStore::kBlockSize;
        for (int i = 0; i < 5 * block; ++i)
            values.append(i < 2 * block ? 5 + random.bounded(0.06) - 0.03
                                        : random.bounded(1000.0) - 300);
        const auto overload = [&](int i) { return !std::isfinite(values.at(i)) || i % 97 == 0; };
        LimitAlarm limits;
        limits.setLimits(-250, 5.02);
        std::function<bool(int)> alarm = [](int i) { return i % 11 == 3; };
        const auto step = [](int i) { return i == 9000 ? -5 : -3 + i % 3; };
        const auto append = [&](int i) {
            ChartPoint point(QDateTime(), values.at(i), QString(), QVariant());
            point.setOverload(overload(i));
            point.setAlarm(alarm(i));
            point.setResolution(step(i));
            store.append(point);
        };
        for (int i = 0; i < values.size(); ++i)
            append(i);
        QCOMPARE(store.point(9000).resolution(), -5);
        checkStretches(store, values, overload, alarm, step);

        store.startMarking(limits);
        const qint64 alarmsBefore = store.total().alarms();
        QVERIFY(!store.continueMarking(ReadingStore::Clock::now()));
        QCOMPARE(store.total().alarms(), alarmsBefore); // the old marks until all are done
        alarm = [&](int i) {
            const int side = overload(i) ? (values.at(i) < 0 ? -1 : 1) : 0;
            return limits.check(values.at(i), side) != LimitAlarm::Side::Inside;
        };
        for (int i = 0; i < 2 * block; ++i) {
            values.append(i % 5 ? 5.03 : -300);
            append(values.size() - 1);
        }
        while (!store.continueMarking(ReadingStore::Clock::now())) {
        }
        QVERIFY(store.total().alarms() != alarmsBefore);
        checkStretches(store, values, overload, alarm, step);
    }

    // Figures of a recording in its unit, at the step the meter's display showed.
    void figuresAreWrittenAtTheMetersStep_data()
    {
        QTest::addColumn<int>("function");
        QTest::addColumn<int>("range");
        QTest::addColumn<QString>("valueText");
        QTest::addColumn<double>("figure");
        QTest::addColumn<QString>("written");
        QTest::newRow("volts") << 2 << 0x30 << "5.0123 " << 5.012345 << "5.0123 V";
        QTest::newRow("millivolts keep their unit")
            << 3 << 0x30 << "30.12 " << 1234.5 << "1234.50 mV";
        QTest::newRow("below half a step is 0") << 2 << 0x31 << "-12.345" << -0.0004 << "0.000 V";
        QTest::newRow("kilohms") << 6 << 0x32 << "12.34  " << 12345.6 << "12.35 k\u03a9";
        QTest::newRow("no unit, no decimals") << 18 << 0x30 << " 1234  " << 1233.6 << "1.234 k";
    }

    void figuresAreWrittenAtTheMetersStep()
    {
        QFETCH(int, function);
        QFETCH(int, range);
        QFETCH(QString, valueText);
        QFETCH(double, figure);
        QFETCH(QString, written);
        recordsamples::RecordSetup setup;
        DmmData reading;
        reading.setEntry(findEntry(setup.defaultTable, quint8(function), quint8(range)));
        reading.setValueText(valueText);
        reading.setUnitText(reading.entry()->prefix() + reading.entry()->unit());
        const FigureFormat format(RecordingUnit::of(reading), readingResolution(reading), figure);
        QCOMPARE(format(figure), written);
    }

    // Readings against the limits: the side each falls on, and which of them beep.
    void alarmBeepsOncePerExcursion_data()
    {
        QTest::addColumn<QString>("low");
        QTest::addColumn<QString>("high");
        QTest::addColumn<QVector<double>>("values"); // 99 and -99 stand for overloads
        QTest::addColumn<QString>("sides");          // l low, h high, . inside; capital: beeps
        const QVector<double> swing = {3, 6, 7, 4, 8, 0, -1, 2, 99, -99};
        QTest::newRow("both limits") << "1"
                                     << "5" << swing << ".Hh.HLl.HL";
        QTest::newRow("low only") << "1"
                                  << "" << swing << ".....Ll..L";
        QTest::newRow("on a limit is inside") << "0"
                                              << "4" << swing << ".Hh.H.L.HL";
        QTest::newRow("straight across") << "2"
                                         << "2" << QVector<double>{1, 3, 3, 1, 2} << "LHhL.";
    }

    void alarmBeepsOncePerExcursion()
    {
        QFETCH(QString, low);
        QFETCH(QString, high);
        QFETCH(QVector<double>, values);
        QFETCH(QString, sides);
        const auto limit = [](const QString &text) {
            return text.isEmpty() ? std::nullopt : std::optional<double>(text.toDouble());
        };
        LimitAlarm alarm;
        alarm.setLimits(limit(low), limit(high));
        QString seen;
        for (double value : values) {
            bool beeps = false;
            const auto side = alarm.update(value, value == 99 ? 1 : value == -99 ? -1 : 0, &beeps);
            const QChar mark = side == LimitAlarm::Side::Low    ? 'l'
                               : side == LimitAlarm::Side::High ? 'h'
                                                                : '.';
            seen += beeps ? mark.toUpper() : mark;
        }
        QCOMPARE(seen, sides);
    }

    // The thinned curve sets exactly the pixels of the full polyline through every sample: small
    // images, which make every case of a column's zigzag (runs, repeats, turns) occur, and long
    // runs of one row over a few rows, which put ties and turns on the edges of the summed-up
    // chunks.
    void thinnedCurveMatchesFullPolyline()
    {
        QRandomGenerator random(704);
        for (int round = 0; round < 4320; ++round) {
            const bool longColumns = round >= 4000;
            // The last rounds put runs of chunks into tall columns of one row with rare spikes.
            const bool runs = round >= 4300;
            const int minCount = runs ? 2 * CurveDecimator::kChunkSize * CurveDecimator::kRunChunks
                                 : longColumns ? CurveDecimator::kChunkSize
                                               : 1;
            const int width = 2 + int(random.bounded(runs ? 2 : longColumns ? 9 : 30));
            const int height = 2 + int(random.bounded(runs ? 200 : longColumns ? 5 : 12));
            QVector<int> rows(minCount + int(random.bounded(12 * minCount + 120)));
            int row = int(random.bounded(height));
            for (int &r : rows) {
                if (runs)
                    r = random.bounded(100000) < 40 ? random.bounded(height) : row;
                else
                    r = row = random.bounded(100) < (longColumns ? 15 : 100)
                                  ? random.bounded(height)
                                  : row;
            }
            QVERIFY2(curvesMatch(rows, width, height),
                     qPrintable(QStringLiteral("round %1").arg(round)));
        }
    }

private:
    template<class Overload, class Step>
    void checkStretches(const ReadingStore &store, const QVector<double> &values, Overload overload,
                        const std::function<bool(int)> &alarm, Step step)
    {
        const int block = ReadingStore::kBlockSize;
        const int n = values.size();
        const QList<QPair<int, int>> stretches = {
            {0, 0},     {0, 4}, {block - 1, block},  {block, 2 * block},    {-5, 3},
            {n - 3, n}, {5, 4}, {17, 4 * block + 3}, {3 * block + 5, n - 7}};
        for (const auto &[first, last] : stretches) {
            double min = HUGE_VAL, max = -HUGE_VAL;
            QVector<double> numeric;
            qint64 overloads = 0, alarms = 0;
            int finest = ReadingSummary::kNoResolution, firstAlarm = -1;
            for (int i = qMax(first, 0); i <= qMin(last, n - 1); ++i) {
                if (std::isfinite(values.at(i))) {
                    min = qMin(min, values.at(i));
                    max = qMax(max, values.at(i));
                }
                alarms += alarm(i);
                if (alarm(i) && firstAlarm < 0)
                    firstAlarm = i;
                overloads += overload(i);
                if (!overload(i)) {
                    numeric.append(values.at(i));
                    finest = qMin(finest, step(i));
                }
            }
            const ReadingStore::Range range = store.valueRange(first, last);
            QCOMPARE(range.valid, min <= max);
            QVERIFY(!range.valid || (range.min == min && range.max == max));
            QCOMPARE(store.nextAlarm(first, last), firstAlarm);

            const ReadingSummary figures = store.summary(first, last);
            QCOMPARE(figures.numeric(), qint64(numeric.size()));
            QCOMPARE(figures.overloads(), overloads);
            QCOMPARE(figures.alarms(), alarms);
            QCOMPARE(figures.resolution(), finest);
            if (numeric.isEmpty())
                continue;
            double mean = 0, squares = 0;
            for (double v : numeric)
                mean += v / numeric.size();
            for (double v : numeric)
                squares += (v - mean) * (v - mean);
            const double sd = numeric.size() < 2 ? 0 : std::sqrt(squares / (numeric.size() - 1));
            QCOMPARE(figures.min(), *std::min_element(numeric.begin(), numeric.end()));
            QCOMPARE(figures.max(), *std::max_element(numeric.begin(), numeric.end()));
            QVERIFY(qAbs(figures.mean() - mean) <= 1e-12 * qMax(1.0, qAbs(mean)));
            QVERIFY(qAbs(figures.standardDeviation() - sd) <= 1e-9 * qMax(1e-3, sd));
        }
        QCOMPARE(store.total().mean(), store.summary(0, n).mean());
        QCOMPARE(store.total().alarms(), store.summary(0, n).alarms());
        for (int i = 0; i < n; i += 7)
            QCOMPARE(store.isAlarm(i), alarm(i));
    }

    // The chart keeps its last picture while the next is summed up, and a view shown before is
    // drawn again at once.
    void redrawInSlices(DMMChart &chart)
    {
        QVERIFY(chart.isRedrawPending());
        QTRY_VERIFY(!chart.isRedrawPending());
        const QImage shown = layerImage(chart, DMMChart::CurvesLayer);
        addValues(chart, {6.5}); // above the axis: every sample gets another row
        chart.repaint();
        QVERIFY(chart.isRedrawPending());
        QCOMPARE(layerImage(chart, DMMChart::CurvesLayer), shown);
        QTRY_VERIFY(!chart.isRedrawPending());
        drag(chart, QPoint(201, 40), QPoint(733, 250));
        QTRY_VERIFY(chart.isZoomed() && !chart.isRedrawPending());
        drag(chart, QPoint(20, 20), QPoint(20, 20), false);
        QVERIFY(!chart.isZoomed() && !chart.isRedrawPending());
    }

    // Samples 100 pixels apart: a drag from 200 to 600 right and down shows samples 2 ... 5.
    DMMChart &zoomedOnSamples2To5()
    {
        DMMChart &chart = chartOf({5, 1, 2, 3, 4, 5, 6, 7, 8, 9});
        drag(chart, QPoint(200, 10), QPoint(600, 200));
        return chart;
    }
};

QTEST_MAIN(TestChart)
#include "tst_chart.moc"
