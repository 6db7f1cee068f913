#pragma once

#include "record/curvedecimator.h"
#include "record/readingstore.h"
#include "record/screenpositions.h"

#include <QColor>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QVector>

class DMMChart;
class QPainter;

// One series of a chart: its samples, oldest first, and what the last full redraw worked out for
// the visible ones (value range, spacing, screen positions).
class ChartLine : public QObject
{
    Q_OBJECT
public:
    // How the visible samples map to pixels: sample k of the visible stretch with value v sits at
    // ((int)(k * xStep + plotX), (int)(zeroLine - yScale * v * multiplier)).
    struct Mapping
    {
        double xStep = 0;
        int plotX = 0;
        int zeroLine = 0;
        double yScale = 0;
        double multiplier = 1.0;
        // Where the curve may be drawn; a null rectangle means the whole image.
        QRect clip;
    };

    explicit ChartLine(DMMChart *chart);

    DMMChart *chart() const { return m_chart; }
    QColor colour() const { return m_colour; }

    // Takes the point over; it is kept in compact form and deleted at once. A line that shows
    // readings kept elsewhere shows its own samples again, starting with this one.
    void append(ChartPoint *point);
    // Removes the line's own samples; readings kept elsewhere are cleared by their owner.
    void clear();
    // Replaces the samples with those of points, which is left empty, and shows them.
    void takePoints(ReadingStore &points);
    // Shows the readings of a store kept elsewhere (the record table's), read in place, instead
    // of the line's own samples; nullptr: its own samples again.
    void showReadings(const ReadingStore *readings);
    // Marks the line's own samples anew against limits, in steps (ReadingStore::startMarking).
    void startMarking(const LimitAlarm &limits) { m_own.startMarking(limits); }
    bool continueMarking(ReadingStore::Clock::time_point deadline)
    {
        return m_own.continueMarking(deadline);
    }

    int pointCount() const { return m_store->count(); }
    ChartPoint point(int index) const { return m_store->point(index); }
    double value(int index) const { return m_store->value(index); }
    const ReadingStore &store() const { return *m_store; }
    QDateTime time(int index) const { return m_store->time(index); }
    QVariant label(int index) const { return m_store->label(index); }

    // Value range of samples first ... last (0 and 0 when none of them exists); kept in min/max.
    void updateRange(int first, int last);
    double min() const { return m_min; }
    double max() const { return m_max; }

    // Spacing of the last full redraw, and the screen positions of its visible samples.
    void setSteps(double xStep, double yScale, int visibleCount);
    double xStep() const { return m_xStep; }
    double yScale() const { return m_yScale; }
    const ScreenPositions &screenPositions() const { return m_positions; }

    // Sums up ahead, until deadline, what the thinned curve through samples first ... last takes;
    // true once it is all summed up, so that drawing it costs little.
    bool prepareCurve(int first, int last, const Mapping &mapping,
                      CurveDecimator::Clock::time_point deadline) const;
    // The curve through samples first ... last, thinned to what a 1-pixel pen can show.
    QVector<QPoint> curve(int first, int last, const Mapping &mapping) const;
    // Every sample of that stretch, one polyline point each.
    QVector<QPoint> fullCurve(int first, int last, const Mapping &mapping) const;
    // Draws the curve in the line's colour.
    void draw(QPainter &painter, int first, int last, const Mapping &mapping) const;
    // Rings the samples of that stretch that were outside the limits.
    void drawAlarms(QPainter &painter, int first, int last, const Mapping &mapping) const;

private:
    // What the pixel rows of the visible samples depend on besides their values.
    struct RowsKey
    {
        quint64 generation = 0;
        int first = -1;
        int zeroLine = 0;
        double yScale = 0;
        double multiplier = 0;
        bool operator==(const RowsKey &other) const;
    };

    // What the thinning summed up of the rows of one key.
    struct Thinning
    {
        RowsKey rows;
        CurveDecimator decimator;
    };

    int visibleCount(int first, int last) const;
    RowsKey rowsKey(int first, const Mapping &mapping) const;
    // The thinning of those rows: the one kept for them, or a fresh one in place of the older.
    CurveDecimator &decimatorFor(const RowsKey &rows) const;
    bool curveInside(const QRect &area, int first, int last, const Mapping &mapping) const;

    DMMChart *m_chart;
    ReadingStore m_own;
    const ReadingStore *m_store = &m_own;
    QColor m_colour = QColor(250, 150, 0);
    double m_min = 0;
    double m_max = 0;
    double m_xStep = 0;
    double m_yScale = 0;
    ScreenPositions m_positions;
    // The thinnings of the last two scales, the latest first: going back to the view before (a
    // zoom undone, Fit values off again) finds its rows already summed up.
    mutable Thinning m_thinnings[2];
};
