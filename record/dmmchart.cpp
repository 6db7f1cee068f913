#include "record/dmmchart.h"

#include "record/chartline.h"
#include "record/chartpoint.h"

#include <QFileInfo>
#include <QImageWriter>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>
#include <QSaveFile>
#include <QTimer>

namespace {

const QString kAxisTimeFormat = QStringLiteral("yy-MM-dd\nhh:mm:ss");
// Width of a typical value label, for placing the value-axis title left of the labels.
const QString kValueLabelProbe = QStringLiteral("000.0k ");
constexpr int kTickLength = 5;
constexpr int kLabelGap = 7;

QPen dottedPen()
{
    return QPen(Qt::black, 1, Qt::DotLine);
}

} // namespace

DMMChart::DMMChart(QWidget *parent)
    : QFrame(parent)
    , m_markerTimer(new QTimer(this))
    , m_sliceTimer(new QTimer(this))
    , m_redrawSlice(SlicedTask::kSlice)
{
    setMouseTracking(true);
    // Filled with the window's colour below its layers, it repaints alone rather than with the
    // dock behind it.
    setAutoFillBackground(true);
    m_lines.append(new ChartLine(this));
    m_markerTimer->setSingleShot(true);
    connect(m_markerTimer, &QTimer::timeout, this, &DMMChart::slotTmrIndicatorTimeout);
    m_sliceTimer->setSingleShot(true);
    connect(m_sliceTimer, &QTimer::timeout, this, &DMMChart::continueRedraw);
    connect(&m_marking, &SlicedTask::finished, this, &DMMChart::readingsMarked);
}

DMMChart::~DMMChart() = default;

void DMMChart::setLeftMargin(int margin)
{
    m_leftMargin = margin;
    requestFullRedraw();
}

void DMMChart::setBottomMargin(int margin)
{
    m_bottomMargin = margin;
}

void DMMChart::setXTitle(const QString &title)
{
    if (title == m_xTitle)
        return;
    m_xTitle = title;
    requestFullRedraw();
}

void DMMChart::setYTitle(const QString &title)
{
    if (title == m_yTitle)
        return;
    m_yTitle = title;
    requestFullRedraw();
}

void DMMChart::setDecimals(int decimals)
{
    m_decimals = decimals;
}

void DMMChart::setAutoPrefix(bool on)
{
    m_autoPrefix = on;
    requestFullRedraw();
}

void DMMChart::setFitValues(bool on)
{
    m_fitValues = on;
    m_valueZoom.reset();
    requestFullRedraw();
}

void DMMChart::addPoint(ChartPoint *point, int line)
{
    if (line < 0 || line >= m_lines.size()) {
        delete point;
        return;
    }
    m_lines.at(line)->append(point);
    readingsAdded();
}

void DMMChart::readingsAdded()
{
    // A zoomed or half-selected view stays where the user put it.
    if (!m_selecting && !m_zoomed)
        requestFullRedraw();
}

void DMMChart::showReadings(const ReadingStore *readings, int line)
{
    if (line < 0 || line >= m_lines.size())
        return;
    m_lines.at(line)->showReadings(readings);
    requestFullRedraw();
}

void DMMChart::clearChart()
{
    for (ChartLine *line : qAsConst(m_lines))
        line->clear();
    requestFullRedraw();
}

void DMMChart::replacePoints(ReadingStore &points, int line)
{
    if (line < 0 || line >= m_lines.size())
        return;
    m_lines.at(line)->takePoints(points);
    requestFullRedraw();
}

void DMMChart::markAlarms(const LimitAlarm &limits)
{
    for (ChartLine *line : qAsConst(m_lines))
        line->startMarking(limits);
    m_marking.start([this](SlicedTask::Clock::time_point deadline) {
        bool done = true;
        for (ChartLine *line : qAsConst(m_lines))
            done = line->continueMarking(deadline) && done;
        return done;
    });
}

void DMMChart::readingsMarked()
{
    requestFullRedraw();
}

bool DMMChart::savePixmap(const QString &fileName, QString *error)
{
    composeLayers(true);
    // The file is opened here, not by the image writer: after an open that fails, the writer
    // removes the file it meant to make, and that removal's reason ("No such file or
    // directory") takes the place of the real one. The image goes beside the old file and
    // replaces it only when whole, so a failed save leaves no broken image behind.
    QSaveFile file(fileName);
    QImageWriter writer(&file, QFileInfo(fileName).suffix().toLower().toLatin1());
    if (file.open(QIODevice::WriteOnly) && writer.write(m_final.toImage()) && file.commit())
        return true;
    if (error) // the file's own reason when it has one, else the writer's (an unknown format)
        *error = file.error() != QFileDevice::NoError ? file.errorString() : writer.errorString();
    return false;
}

void DMMChart::resetZoom()
{
    if (!m_zoomed)
        return;
    m_zoomed = false;
    m_valueZoom.reset();
    requestFullRedraw();
    emit viewChanged();
}

int DMMChart::statisticsFirst() const
{
    return m_zoomed ? m_first : 0;
}

int DMMChart::statisticsLast() const
{
    const int count = m_lines.first()->pointCount();
    return m_zoomed ? qMin(m_last, count - 1) : count - 1;
}

ReadingSummary DMMChart::statistics() const
{
    const ChartLine *line = m_lines.first();
    if (!m_zoomed)
        return line->store().total();
    return line->store().summary(statisticsFirst(), statisticsLast());
}

const QPixmap &DMMChart::layer(Layer which) const
{
    switch (which) {
    case BaseLayer:
        return m_base;
    case CurvesLayer:
        return m_curves;
    case SelectionLayer:
        return m_selection;
    case FinalLayer:
        break;
    }
    return m_final;
}

void DMMChart::slotTmrIndicatorTimeout()
{
    m_markerVisible = false;
    update();
}

void DMMChart::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !hasPoints())
        return;
    m_hoverIndex = -1;
    m_markerVisible = false;
    update();
    if (!m_selecting) {
        m_selecting = true;
        m_selectionStart = toPlot(event->pos());
        // A press without a drag must not reuse the end of an earlier drag: a click resets
        // the zoom.
        m_selectionEnd = m_selectionStart;
    }
}

void DMMChart::mouseReleaseEvent(QMouseEvent *)
{
    if (!m_selecting)
        return;
    finishSelection();
    m_selecting = false;
    requestFullRedraw();
    emit viewChanged();
}

void DMMChart::mouseMoveEvent(QMouseEvent *event)
{
    if (m_selecting) {
        m_selectionEnd = toPlot(event->pos());
        m_selectionDirty = true;
        update();
        return;
    }
    hover(event->pos().x());
}

void DMMChart::paintEvent(QPaintEvent *)
{
    composeLayers(false);
    QPainter painter(this);
    // The same pixels with a clip of the painter's own, but the frame's thin lines are then set
    // directly instead of blended one span at a time.
    painter.setClipRect(rect());
    painter.drawPixmap(0, 0, width(), height(), m_final);
    drawFrame(&painter);
}

void DMMChart::resizeEvent(QResizeEvent *event)
{
    fitToWidget();
    requestFullRedraw();
    QFrame::resizeEvent(event);
}

void DMMChart::requestFullRedraw()
{
    m_baseDirty = true;
    update();
}

void DMMChart::fitToWidget()
{
    m_plotArea = QRect(m_leftMargin, m_topMargin, width() - m_rightMargin - m_leftMargin,
                       height() - m_bottomMargin - m_topMargin);
    m_base = QPixmap(size());
    m_axisTexts.clear();
    m_baseDirty = true;
}

bool DMMChart::hasPoints() const
{
    for (const ChartLine *line : m_lines) {
        if (line->pointCount() > 0)
            return true;
    }
    return false;
}

void DMMChart::composeLayers(bool whole)
{
    // A chart saved before it was ever laid out gets its layers at its current size.
    if (m_base.size() != size())
        fitToWidget();
    if (m_base.isNull())
        return;
    bool changed = false;
    if (m_baseDirty) {
        const View view = nextView();
        if (prepareCurves(view, whole ? Clock::time_point::max() : Clock::now() + m_redrawSlice)) {
            m_baseDirty = false;
            renderBase(view);
            changed = true;
        } else {
            m_sliceTimer->start();
        }
    }
    // A layer starts as a shared copy of the one below; only a layer painted on gets pixels of
    // its own.
    if (m_curvesDirty || changed) {
        m_curvesDirty = false;
        m_curves = m_base;
        if (hasPoints()) {
            QPainter painter(&m_curves);
            drawLines(painter);
            changed = true;
        }
    }
    if (m_selectionDirty || changed) {
        m_selectionDirty = false;
        m_selection = m_curves;
        if (m_selecting) {
            QPainter painter(&m_selection);
            drawSelection(painter);
        }
        changed = true;
    }
    if (m_hoverDirty || changed) {
        // While the marker timer runs, every paint recomposes the marker layer.
        if (!m_markerTimer->isActive())
            m_hoverDirty = false;
        m_final = m_selection;
        if (hasPoints() && m_markerVisible) {
            QPainter painter(&m_final);
            drawMarker(painter);
        }
    }
}

void DMMChart::continueRedraw()
{
    if (!m_baseDirty)
        return;
    if (prepareCurves(nextView(), Clock::now() + m_redrawSlice))
        update();
    else
        m_sliceTimer->start();
}

DMMChart::View DMMChart::nextView() const
{
    View view;
    view.first = m_zoomed ? m_first : 0;
    view.last = m_zoomed ? m_last : m_lines.first()->pointCount() - 1;
    // Each line's range is 0 ... 0 when it has no finite value in view.
    const auto rangeOf = [&view](const ChartLine *line) {
        const ReadingStore::Range range = line->store().valueRange(view.first, view.last);
        return qMakePair(range.min, range.max);
    };
    auto [min, max] = rangeOf(m_lines.first());
    for (const ChartLine *line : m_lines) {
        const auto range = rangeOf(line);
        min = qMin(min, range.first);
        max = qMax(max, range.second);
    }
    const QSize plot = m_plotArea.size();
    if (m_fitValues && m_zoomed && m_valueZoom)
        view.scale = ChartScale::fit(m_valueZoom->first, m_valueZoom->second, m_autoPrefix, plot,
                                     view.first, view.last, true);
    else if (m_fitValues)
        view.scale = ChartScale::fit(min, max, m_autoPrefix, plot, view.first, view.last);
    else
        view.scale = ChartScale::compute(min, max, m_autoPrefix, plot, view.first, view.last);
    view.zeroLine = view.scale.zeroLine(m_plotArea);
    return view;
}

ChartLine::Mapping DMMChart::mapping(const View &view) const
{
    ChartLine::Mapping mapping;
    mapping.xStep = view.scale.xStep;
    mapping.plotX = m_plotArea.x();
    mapping.zeroLine = view.zeroLine;
    mapping.yScale = view.scale.yScale;
    mapping.multiplier = m_autoPrefix ? view.scale.multiplier : 1.0;
    // A narrowed value axis leaves parts of the curve above and below the plot.
    if (m_fitValues && m_zoomed && m_valueZoom)
        mapping.clip = m_plotArea.adjusted(0, 0, 1, 1);
    return mapping;
}

bool DMMChart::prepareCurves(const View &view, Clock::time_point deadline) const
{
    const ChartLine::Mapping lineMapping = mapping(view);
    bool ready = true;
    for (const ChartLine *line : m_lines)
        ready = line->prepareCurve(view.first, view.last, lineMapping, deadline) && ready;
    return ready;
}

void DMMChart::renderBase(const View &view)
{
    m_shown = view;
    for (ChartLine *line : qAsConst(m_lines)) {
        line->updateRange(view.first, view.last);
        const int visible = qMin(view.last, line->pointCount() - 1) - view.first + 1;
        line->setSteps(view.scale.xStep, view.scale.yScale, visible);
    }
    m_grid = ChartGrid::compute(view.scale, m_plotArea.size(), hasPoints());
    const QVector<ChartGrid::ValueMark> marks =
        m_grid.valueMarks(view.zeroLine, m_decimals, view.scale.prefix);
    const bool newGrid = renderGridLines(marks);
    // A growing recording mostly keeps its grid and the texts on its axes from one reading to
    // the next, and then keeps its base image too.
    QStringList texts{m_xTitle, m_yTitle, font().key(), QString::number(m_leftMargin),
                      QString::number(m_bottomMargin)};
    for (int i = 0; i < m_grid.xDivisions; ++i)
        texts << timeLabel(i);
    for (const ChartGrid::ValueMark &mark : marks)
        texts << mark.text;
    if (!newGrid && texts == m_axisTexts)
        return;
    m_axisTexts = texts;
    m_base = m_gridLayer;
    QPainter painter(&m_base);
    drawAxes(painter, marks);
}

bool DMMChart::renderGridLines(const QVector<ChartGrid::ValueMark> &marks)
{
    // Dotted lines are slow to draw, and a growing recording keeps its grid for many redraws
    // while the labels change.
    const QRect &plot = m_plotArea;
    QVector<QLine> lines;
    for (int i = 0; i < m_grid.xDivisions; ++i) {
        const int x = m_grid.tickX(i, plot.left());
        lines.append(QLine(x, plot.top(), x, plot.bottom()));
    }
    for (const ChartGrid::ValueMark &mark : marks)
        lines.append(QLine(plot.left(), mark.y, plot.left() + plot.width(), mark.y));
    if (lines == m_gridLines && m_gridLayer.size() == size())
        return false;
    m_gridLines = lines;
    m_gridLayer = QPixmap(size());
    m_gridLayer.fill(m_background);
    QPainter painter(&m_gridLayer);
    painter.setPen(dottedPen());
    for (const QLine &line : qAsConst(lines))
        painter.drawLine(line);
    return true;
}

void DMMChart::drawAxes(QPainter &painter, const QVector<ChartGrid::ValueMark> &marks) const
{
    painter.setPen(QPen(Qt::black));
    drawTimeAxis(painter);
    drawValueAxis(painter, marks);
    drawTitles(painter);
}

void DMMChart::drawTimeAxis(QPainter &painter) const
{
    const QRect &plot = m_plotArea;
    const int h = painter.fontMetrics().height();
    painter.drawLine(plot.left() - 1, plot.bottom() + 1, plot.right() + 1, plot.bottom() + 1);
    for (int i = 0; i < m_grid.xDivisions; ++i) {
        const int x = m_grid.tickX(i, plot.left());
        painter.drawLine(x, plot.bottom(), x, plot.bottom() + kTickLength);
        const QString text = timeLabel(i);
        if (text.isEmpty())
            continue;
        const int w = painter.fontMetrics().horizontalAdvance(text);
        painter.drawText(QRect(x - w / 2, plot.bottom() + kLabelGap, w, 2 * h), Qt::AlignCenter,
                         text);
    }
}

QString DMMChart::timeLabel(int division) const
{
    const ChartLine *line = m_lines.first();
    const int sample = m_shown.first + division * m_grid.samplesPerDivision;
    return sample < line->pointCount() ? line->time(sample).toString(kAxisTimeFormat) : QString();
}

void DMMChart::drawValueAxis(QPainter &painter, const QVector<ChartGrid::ValueMark> &marks) const
{
    const QRect &plot = m_plotArea;
    const int h = painter.fontMetrics().height();
    painter.drawLine(m_leftMargin - 1, m_topMargin - 1, m_leftMargin - 1, plot.bottom() + 1);
    for (const ChartGrid::ValueMark &mark : marks) {
        painter.drawLine(plot.left(), mark.y, plot.left() - kTickLength, mark.y);
        const int w = painter.fontMetrics().horizontalAdvance(mark.text);
        painter.drawText(QRect(plot.left() - kLabelGap - w, mark.y - h / 2, w, h), Qt::AlignCenter,
                         mark.text);
    }
}

void DMMChart::drawTitles(QPainter &painter) const
{
    const QRect &plot = m_plotArea;
    const QFontMetrics metrics = painter.fontMetrics();
    const int h = metrics.height();
    const int t = metrics.horizontalAdvance(m_yTitle);
    const int p = metrics.horizontalAdvance(kValueLabelProbe);
    painter.save();
    painter.translate((m_leftMargin - p) / 2 - h / 2, plot.top() + plot.height() / 2 + t / 2);
    painter.rotate(-90);
    painter.drawText(QRect(0, 0, t, h), Qt::AlignCenter, m_yTitle);
    painter.restore();
    // The offset subtracts the whole width of the value-axis title, as the chart always has.
    painter.drawText(QRect(plot.left() + plot.width() / 2 - t,
                           plot.bottom() + h + (m_bottomMargin - h) / 2,
                           metrics.horizontalAdvance(m_xTitle), h),
                     Qt::AlignCenter, m_xTitle);
}

void DMMChart::drawLines(QPainter &painter) const
{
    const ChartLine::Mapping lineMapping = mapping(m_shown);
    for (const ChartLine *line : m_lines)
        line->draw(painter, m_shown.first, m_shown.last, lineMapping);
    for (const ChartLine *line : m_lines)
        line->drawAlarms(painter, m_shown.first, m_shown.last, lineMapping);
}

void DMMChart::drawSelection(QPainter &painter) const
{
    const QPoint origin = m_plotArea.topLeft();
    const QPolygon outline(
        {m_selectionStart + origin, QPoint(m_selectionEnd.x(), m_selectionStart.y()) + origin,
         m_selectionEnd + origin, QPoint(m_selectionStart.x(), m_selectionEnd.y()) + origin});
    painter.setPen(dottedPen());
    painter.setBrush(Qt::NoBrush);
    painter.drawPolygon(outline);
}

void DMMChart::drawMarker(QPainter &painter)
{
    const ScreenPositions &positions = m_lines.first()->screenPositions();
    if (positions.count() == 0)
        return;
    if (m_hoverIndex >= positions.count())
        m_hoverIndex = positions.count() - 1;
    if (m_hoverIndex < 0)
        return;
    const QRect &plot = m_plotArea;
    const int x = plot.left() + positions.at(m_hoverIndex);
    painter.setPen(QPen(m_markerColour));
    painter.drawLine(x, plot.top(), x, plot.bottom());

    const int h = painter.fontMetrics().height();
    int top = plot.top() - h;
    for (const ChartLine *line : m_lines) {
        const int sample = m_shown.first + m_hoverIndex;
        if (sample >= line->pointCount())
            continue;
        const QString text = line->label(sample).toString();
        const int w = painter.fontMetrics().horizontalAdvance(text);
        const int left = x + w + 2 < plot.right() ? x + 2 : x - w - 2;
        painter.drawText(QRect(left, top, w, h), Qt::AlignCenter, text);
        top -= h - 1;
    }
}

QPoint DMMChart::toPlot(const QPoint &position) const
{
    const QPoint relative = position - m_plotArea.topLeft();
    return QPoint(qBound(0, relative.x(), m_plotArea.width()),
                  qBound(0, relative.y(), m_plotArea.height()));
}

int DMMChart::nearestSample(int x) const
{
    if (m_lines.isEmpty())
        return -1;
    const ScreenPositions &positions = m_lines.first()->screenPositions();
    if (x < 0)
        return 0;
    if (x > m_plotArea.width())
        return positions.count() - 1;
    return positions.nearest(x);
}

void DMMChart::hover(int mouseX)
{
    const int x = qBound(0, mouseX - m_plotArea.left(), m_plotArea.width());
    const int index = nearestSample(x);
    m_markerVisible = index != m_hoverIndex && index != -1;
    if (!m_markerVisible)
        return;
    m_hoverIndex = index;
    m_markerTimer->stop();
    m_markerTimer->start(kMarkerTimeout);
    m_hoverDirty = true;
    update();
}

void DMMChart::finishSelection()
{
    const bool rightAndDown =
        m_selectionEnd.x() > m_selectionStart.x() && m_selectionEnd.y() > m_selectionStart.y();
    if (rightAndDown) {
        const ScreenPositions::Span span =
            m_lines.first()->screenPositions().dragSpan(m_selectionStart.x(), m_selectionEnd.x());
        if (span.last - span.first > 0) {
            const double high = valueAtRow(m_selectionStart.y());
            const double low = valueAtRow(m_selectionEnd.y());
            // Past a millionth of the values' size the axis has no pixels left to tell them apart.
            if (m_fitValues && high - low > 1e-6 * qMax(qAbs(low), qAbs(high)))
                m_valueZoom = qMakePair(low, high);
            m_zoomed = true;
            m_last = m_shown.first + span.last;
            m_first = m_shown.first + span.first;
            return;
        }
    }
    m_zoomed = false;
    m_valueZoom.reset();
}

double DMMChart::valueAtRow(int y) const
{
    const double multiplier = m_autoPrefix ? m_shown.scale.multiplier : 1.0;
    return (m_shown.zeroLine - (m_plotArea.top() + y)) / (m_shown.scale.yScale * multiplier);
}
