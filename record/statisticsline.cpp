#include "record/statisticsline.h"

#include <QPainter>
#include <QStyle>

namespace {
constexpr int kTextFlags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap;
} // namespace

StatisticsLine::StatisticsLine(QWidget *parent)
    : QWidget(parent)
{
    // Filled with the window's colour, it repaints alone rather than with the dock behind it.
    setAutoFillBackground(true);
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
