#pragma once

#include "record/chartgrid.h"
#include "record/chartline.h"
#include "record/chartscale.h"
#include "record/readingsummary.h"
#include "record/slicedtask.h"

#include <QColor>
#include <QFrame>
#include <QLine>
#include <QList>
#include <QPair>
#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QVector>
#include <optional>

class ChartPoint;
class ReadingStore;
class QTimer;

// Chart of the recorded readings against their sample position: automatic value axis with an
// optional SI prefix, time labels, a hover marker and drag-to-zoom. It draws into four cached
// layers (axes, curves, zoom rectangle, marker) so that mouse feedback redraws little. A full
// redraw on a new scale sums the curve of a long recording up anew, which takes longer than a
// frame: that is done in slices between turns of the event loop, and the chart shows its last
// picture until the new one is complete.
class DMMChart : public QFrame
{
    Q_OBJECT
public:
    enum Layer
    {
        BaseLayer,
        CurvesLayer,
        SelectionLayer,
        FinalLayer
    };

    static constexpr int kMarkerTimeout = 6000; // ms the hover marker stays after a change

    explicit DMMChart(QWidget *parent = nullptr);
    ~DMMChart() override;

    void setLeftMargin(int margin);
    void setBottomMargin(int margin);
    void setXTitle(const QString &title);
    void setYTitle(const QString &title);
    void setDecimals(int decimals);
    void setAutoPrefix(bool on);
    // Fit values: the value axis spans the visible values instead of reaching to zero, and a
    // drag narrows it to the dragged rectangle's height as well. Off by default.
    void setFitValues(bool on);
    bool fitValues() const { return m_fitValues; }

    // Appends the point to the line, which takes it over (a point for a line that does not
    // exist is deleted).
    void addPoint(ChartPoint *point, int line = 0);
    void clearChart();
    // The line draws the readings of a store kept elsewhere (the record table's) in place of its
    // own points, without a copy; nullptr: its own points again. readingsAdded() tells the chart
    // that the store has grown.
    void showReadings(const ReadingStore *readings, int line = 0);
    void readingsAdded();
    // Replaces the samples of a line with points (left empty), as if they had been added one by
    // one to a cleared chart.
    void replacePoints(ReadingStore &points, int line = 0);
    // Marks the lines' own samples anew against limits, in slices between turns of the event
    // loop, and rings them anew once all are marked. The readings of a store kept elsewhere are
    // marked by its owner, who then calls readingsMarked().
    void markAlarms(const LimitAlarm &limits);
    // The marks of the readings shown changed: rings them anew.
    void readingsMarked();
    // Writes the chart as shown (without the frame) in the format the file suffix names; false
    // with the reason in error, when one is given, if no image is written.
    bool savePixmap(const QString &fileName, QString *error = nullptr);

    // Ends a zoom from outside, when the readings it showed are gone (a Delete, a change of
    // function, an import): the next redraw shows all samples, and viewChanged() is emitted.
    void resetZoom();

    ChartLine *line(int index) const { return m_lines.value(index); }
    QRect plotArea() const { return m_plotArea; }
    // Scale, grid and samples in view of the picture shown, the last full redraw.
    const ChartScale &scale() const { return m_shown.scale; }
    const ChartGrid &grid() const { return m_grid; }
    int zeroLine() const { return m_shown.zeroLine; }
    int firstVisible() const { return m_shown.first; }
    int lastVisible() const { return m_shown.last; }
    // A full redraw is asked for and not yet shown (its curve is still being summed up).
    bool isRedrawPending() const { return m_baseDirty; }
    // How long a slice of a full redraw may sum up the curve; tests shorten it.
    void setRedrawSlice(std::chrono::milliseconds slice) { m_redrawSlice = slice; }
    bool isZoomed() const { return m_zoomed; }
    bool isSelecting() const { return m_selecting; }
    int hoverIndex() const { return m_hoverIndex; }
    bool isMarkerVisible() const { return m_markerVisible; }
    const QPixmap &layer(Layer which) const;

    // The samples of line 0 the figures are taken over: the visible stretch while zoomed, all
    // of them otherwise; first > last when there are none.
    int statisticsFirst() const;
    int statisticsLast() const;
    // Figures of that stretch of line 0, from the summaries its store keeps.
    ReadingSummary statistics() const;

signals:
    // The zoom changed, and with it the stretch the figures are taken over.
    void viewChanged();

public slots:
    void slotTmrIndicatorTimeout();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    using Clock = CurveDecimator::Clock;

    // What a full redraw shows: the samples in view, the value axis and the zero line.
    struct View
    {
        int first = 0;
        int last = -1;
        ChartScale scale;
        int zeroLine = 0;
    };

    void requestFullRedraw();
    void fitToWidget();
    bool hasPoints() const;
    // Brings the layers up to date; a full redraw whose curves are not summed up within a slice
    // (unless whole) is left for continueRedraw(), and the layers keep the last picture.
    void composeLayers(bool whole);
    void continueRedraw();
    View nextView() const;
    ChartLine::Mapping mapping(const View &view) const;
    bool prepareCurves(const View &view, Clock::time_point deadline) const;
    void renderBase(const View &view);
    // The dotted grid lines on the background, into m_gridLayer; kept while they stay the same.
    // Returns whether they were drawn anew.
    bool renderGridLines(const QVector<ChartGrid::ValueMark> &marks);
    // The time stamp under the tick of an x division; empty past the last sample.
    QString timeLabel(int division) const;
    void drawAxes(QPainter &painter, const QVector<ChartGrid::ValueMark> &marks) const;
    void drawTimeAxis(QPainter &painter) const;
    void drawValueAxis(QPainter &painter, const QVector<ChartGrid::ValueMark> &marks) const;
    void drawTitles(QPainter &painter) const;
    void drawLines(QPainter &painter) const;
    void drawSelection(QPainter &painter) const;
    void drawMarker(QPainter &painter);
    QPoint toPlot(const QPoint &position) const;
    int nearestSample(int x) const;
    void hover(int mouseX);
    void finishSelection();
    // The raw value at a row of the plot (relative to its top), on the last full redraw's axis.
    double valueAtRow(int y) const;

    View m_shown; // its scale holds the multiplier and the prefix
    int m_leftMargin = 60;
    int m_rightMargin = 20;
    int m_topMargin = 40;
    int m_bottomMargin = 40;
    QRect m_plotArea;
    QList<ChartLine *> m_lines;
    QPixmap m_gridLayer;
    QVector<QLine> m_gridLines;
    // The texts on the base image's axes, and what places them; empty when the base is stale.
    QStringList m_axisTexts;
    QPixmap m_base;
    QPixmap m_curves;
    QPixmap m_selection;
    QPixmap m_final;
    QTimer *m_markerTimer;
    // Runs the next slice of a full redraw once the event loop has turned.
    QTimer *m_sliceTimer;
    SlicedTask m_marking;
    std::chrono::milliseconds m_redrawSlice;
    bool m_baseDirty = true;
    bool m_curvesDirty = true;
    bool m_hoverDirty = false;
    bool m_selectionDirty = false;
    QColor m_background = Qt::white;
    ChartGrid m_grid;
    bool m_markerVisible = false;
    int m_hoverIndex = -1;
    bool m_selecting = false;
    bool m_zoomed = false;
    // The zoomed stretch asked for; the picture shows it once its redraw is done.
    int m_first = 0;
    int m_last = -1;
    QPoint m_selectionStart;
    QPoint m_selectionEnd;
    QColor m_markerColour = QColor(0, 100, 250);
    QString m_xTitle;
    QString m_yTitle;
    int m_decimals = 2;
    bool m_autoPrefix = false;
    bool m_fitValues = false;
    // With fit values on, the value range a drag picked (raw values, low then high).
    std::optional<QPair<double, double>> m_valueZoom;
};
