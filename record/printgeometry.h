#pragma once

#include <QList>
#include <QRect>
#include <QSize>
#include <QVector>

// Where the printed record table goes on a page: a title band, the print time, a ruled header
// row, as many data rows as fit, and the page number at the foot. All figures are in the page
// rectangle's pixels; the line height is one and a half font heights.
class PrintGeometry
{
public:
    static constexpr int kMargin = 30;

    PrintGeometry(const QSize &page, int fontHeight, const QList<int> &weights);

    int lineHeight() const { return m_line; }
    // Data rows on one page: what fits below the header and above the page number, and at least
    // one, so that a very small page still makes progress.
    int rowsPerPage() const;
    int pageCount(int rows) const;
    // The first row (from 0) printed on a page (from 0).
    int firstRowOf(int page) const { return page * rowsPerPage(); }

    int left() const { return kMargin; }
    int right() const { return m_page.width() - kMargin; }
    // Column widths: the text width shared by weight, each truncated to whole pixels.
    QVector<int> columnWidths() const { return m_widths; }

    QRect titleRect(int textWidth) const;
    QRect printTimeRect(int textWidth) const;
    QRect pageNumberRect(int textWidth) const;
    int headerTop() const { return 4 * m_line; }
    // Top of the data row at position slot (from 0) on its page.
    int rowTop(int slot) const { return (5 + slot) * m_line; }

private:
    QSize m_page;
    int m_line;
    QVector<int> m_widths;
};
