#include "record/printgeometry.h"

#include <QtMath>

#include <algorithm>
#include <numeric>

PrintGeometry::PrintGeometry(const QSize &page, int fontHeight, const QList<int> &weights)
    : m_page(page)
    , m_line(fontHeight + fontHeight / 2)
{
    const double sum = std::accumulate(weights.begin(), weights.end(), 0.0);
    const double scale = sum > 0 ? (page.width() - 2 * kMargin) / sum : 0.0;
    for (const int weight : weights)
        m_widths.append(int(weight * scale));
}

int PrintGeometry::rowsPerPage() const
{
    if (m_line <= 0)
        return 1;
    return std::max(1, (m_page.height() - 6 * m_line) / m_line);
}

int PrintGeometry::pageCount(int rows) const
{
    const int perPage = rowsPerPage();
    return rows / perPage + (rows % perPage != 0 ? 1 : 0);
}

QRect PrintGeometry::titleRect(int textWidth) const
{
    return QRect(qFloor((m_page.width() - textWidth) / 2.0), 0, textWidth, 3 * m_line);
}

QRect PrintGeometry::printTimeRect(int textWidth) const
{
    return QRect(m_page.width() - textWidth - kMargin, 3 * m_line, textWidth, m_line - 3);
}

QRect PrintGeometry::pageNumberRect(int textWidth) const
{
    return QRect(m_page.width() - textWidth - kMargin, m_page.height() - m_line, textWidth, m_line);
}
