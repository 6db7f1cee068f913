#include "record/statisticsline.h"

#include "record/chartline.h"
#include "record/dmmchart.h"

#include <QPainter>
#include <QStyle>

namespace {
constexpr int kTextFlags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap;
const QString kFigureSeparator = QStringLiteral("   ");
} // namespace

StatisticsLine::StatisticsLine(QWidget *parent)
    : QWidget(parent)
{
    // Filled with the window's colour, it repaints alone rather than with the dock behind it.
    setAutoFillBackground(true);
}

void StatisticsLine::showFigures(const DMMChart &chart)
{
    setText(figuresText(chart));
}

QString StatisticsLine::figuresText(const DMMChart &chart) const
{
    const ReadingSummary summary = chart.statistics();
    QStringList parts;
    parts << tr("n %1").arg(summary.numeric());
    if (summary.numeric() > 0) {
        const FigureFormat figure(m_unit, summary.resolution(),
                                  qMax(qAbs(summary.min()), qAbs(summary.max())));
        parts << tr("min %1").arg(figure(summary.min())) << tr("max %1").arg(figure(summary.max()))
              << tr("mean %1").arg(figure(summary.mean()))
              << tr("sd %1").arg(figure(summary.standardDeviation()));
    }
    const int first = chart.statisticsFirst();
    const int last = chart.statisticsLast();
    if (last >= first) {
        const ChartLine *line = chart.line(0);
        parts << tr("span %1").arg(formatDuration(line->time(first).msecsTo(line->time(last))));
    }
    if (summary.overloads() > 0)
        parts << tr("overloads %1").arg(summary.overloads());
    if (summary.alarms() > 0)
        parts << tr("alarms %1").arg(summary.alarms());
    const QString text = parts.join(kFigureSeparator);
    return chart.isZoomed() ? tr("Zoomed: %1").arg(text) : text;
}

void StatisticsLine::setText(const QString &text)
{
    if (text == m_text)
        return;
    m_text = text;
    // The height the layout gave the line is the one its last text needed at its width.
    if (heightForWidth(width()) != m_height)
        updateGeometry();
    update();
}

QSize StatisticsLine::sizeHint() const
{
    return QSize(fontMetrics().horizontalAdvance(m_text), heightForWidth(width()));
}

QSize StatisticsLine::minimumSizeHint() const
{
    return QSize(0, fontMetrics().height());
}

int StatisticsLine::heightForWidth(int width) const
{
    // An empty line keeps its place, so that the first reading does not move the table.
    const QRect bounds(0, 0, qMax(width, 1), QWIDGETSIZE_MAX);
    return qMax(fontMetrics().boundingRect(bounds, kTextFlags, m_text).height(),
                fontMetrics().height());
}

void StatisticsLine::resizeEvent(QResizeEvent *)
{
    m_height = heightForWidth(width());
}

void StatisticsLine::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    style()->drawItemText(&painter, rect(), kTextFlags, palette(), isEnabled(), m_text,
                          foregroundRole());
}
