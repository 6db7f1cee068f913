#include "record/recordrowheader.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QStyleOptionHeader>
#include <utility>

RecordRowHeader::RecordRowHeader(QWidget *parent)
    : QHeaderView(Qt::Vertical, parent)
{
    setSectionResizeMode(QHeaderView::Fixed);
    setMinimumSectionSize(0);
    setDefaultSectionSize(fittingRowHeight());
}

int RecordRowHeader::fittingRowHeight() const
{
    return fontMetrics().height() +
           2 * style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, this);
}

QSize RecordRowHeader::sizeHint() const
{
    // The base class measures up to two hundred sections on every call after a row was
    // added; the rows are all alike, so one empty section tells the same.
    QStyleOptionHeader option;
    initStyleOption(&option);
    option.section = 0;
    const QSize section =
        style()->sizeFromContents(QStyle::CT_HeaderSection, &option, QSize(), this);
    return QSize(section.width(), length());
}

void RecordRowHeader::changeEvent(QEvent *event)
{
    QHeaderView::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        setDefaultSectionSize(fittingRowHeight());
}

bool RecordRowHeader::hasUniformSections(const QHeaderView &header)
{
    const int size = header.defaultSectionSize();
    return size > 0 && !header.sectionsHidden() && !header.sectionsMoved() &&
           qint64(header.length()) == qint64(header.count()) * size;
}

int RecordRowHeader::uniformSectionAt(const QHeaderView &header, int position)
{
    const int offsetPosition = position + header.offset();
    if (header.count() < 1 || offsetPosition < 0 || offsetPosition >= header.length())
        return -1;
    return offsetPosition / header.defaultSectionSize();
}

void RecordRowHeader::paintEvent(QPaintEvent *event)
{
    if (!hasUniformSections(*this) || sectionsClickable() || orientation() != Qt::Vertical) {
        QHeaderView::paintEvent(event);
        return;
    }
    if (count() == 0)
        return;
    QPainter painter(viewport());
    const QRect area = event->rect();
    int first = uniformSectionAt(*this, area.top());
    int last = uniformSectionAt(*this, area.bottom());
    first = first == -1 ? 0 : first;
    last = last == -1 ? count() - 1 : last;
    if (first > last)
        std::swap(first, last);

    const int size = defaultSectionSize();
    QRect section;
    for (int row = first; row <= last; ++row) {
        painter.save();
        section.setRect(0, row * size - offset(), viewport()->width(), size);
        const QVariant font = model()->headerData(row, Qt::Vertical, Qt::FontRole);
        if (font.isValid() && font.canConvert<QFont>())
            painter.setFont(qvariant_cast<QFont>(font));
        paintSection(&painter, section, row);
        painter.restore();
    }
    // Below the last row.
    if (section.bottom() < area.bottom()) {
        QStyleOption option;
        option.initFrom(this);
        option.state &= ~QStyle::State_Horizontal;
        option.rect = QRect(0, section.bottom() + 1, viewport()->width(),
                            viewport()->height() - section.bottom() - 1);
        style()->drawControl(QStyle::CE_HeaderEmptyArea, &option, &painter, this);
    }
}
