#include "record/recordrowheader.h"

#include <QEvent>
#include <QIcon>
#include <QItemSelectionModel>
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
    if (!hasUniformSections(*this) || sectionsClickable() || textElideMode() != Qt::ElideNone) {
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
        paintRow(painter, section, row);
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

void RecordRowHeader::paintRow(QPainter &painter, const QRect &rect, int row) const
{
    // What the plain header's section painting does for sections that cannot be clicked; it
    // asks whether a section is the first or the last one by working out where all sections
    // start.
    if (!rect.isValid())
        return;
    QStyleOptionHeader option;
    initStyleOption(&option);
    if (isEnabled())
        option.state |= QStyle::State_Enabled;
    if (window()->isActiveWindow())
        option.state |= QStyle::State_Active;
    if (isSortIndicatorShown() && sortIndicatorSection() == row)
        option.sortIndicator = sortIndicatorOrder() == Qt::AscendingOrder
                                   ? QStyleOptionHeader::SortDown
                                   : QStyleOptionHeader::SortUp;
    const QVariant alignment = model()->headerData(row, Qt::Vertical, Qt::TextAlignmentRole);
    option.rect = rect;
    option.section = row;
    option.textAlignment =
        alignment.isValid() ? Qt::Alignment(alignment.toInt()) : defaultAlignment();
    option.iconAlignment = Qt::AlignVCenter;
    option.text = model()->headerData(row, Qt::Vertical, Qt::DisplayRole).toString();
    const QVariant decoration = model()->headerData(row, Qt::Vertical, Qt::DecorationRole);
    option.icon = qvariant_cast<QIcon>(decoration);
    if (option.icon.isNull())
        option.icon = qvariant_cast<QPixmap>(decoration);
    const QVariant foreground = model()->headerData(row, Qt::Vertical, Qt::ForegroundRole);
    if (foreground.canConvert<QBrush>())
        option.palette.setBrush(QPalette::ButtonText, qvariant_cast<QBrush>(foreground));
    const QPointF brushOrigin = painter.brushOrigin();
    const QVariant background = model()->headerData(row, Qt::Vertical, Qt::BackgroundRole);
    if (background.canConvert<QBrush>()) {
        option.palette.setBrush(QPalette::Button, qvariant_cast<QBrush>(background));
        option.palette.setBrush(QPalette::Window, qvariant_cast<QBrush>(background));
        painter.setBrushOrigin(option.rect.topLeft());
    }
    option.position = rowPosition(row);
    option.orientation = Qt::Vertical;
    option.selectedPosition = selectedNeighbours(row);
    style()->drawControl(QStyle::CE_Header, &option, &painter, this);
    painter.setBrushOrigin(brushOrigin);
}

QStyleOptionHeader::SectionPosition RecordRowHeader::rowPosition(int row) const
{
    const bool first = row == 0;
    const bool last = row == count() - 1;
    if (first && last)
        return QStyleOptionHeader::OnlyOneSection;
    if (first)
        return QStyleOptionHeader::Beginning;
    return last ? QStyleOptionHeader::End : QStyleOptionHeader::Middle;
}

QStyleOptionHeader::SelectedPosition RecordRowHeader::selectedNeighbours(int row) const
{
    const QItemSelectionModel *selection = selectionModel();
    const auto selected = [&](int neighbour) {
        return neighbour >= 0 && neighbour < count() && selection && selection->hasSelection() &&
               selection->isRowSelected(neighbour, rootIndex());
    };
    const bool previous = selected(row - 1);
    const bool next = selected(row + 1);
    if (previous && next)
        return QStyleOptionHeader::NextAndPreviousAreSelected;
    if (previous)
        return QStyleOptionHeader::PreviousIsSelected;
    return next ? QStyleOptionHeader::NextIsSelected : QStyleOptionHeader::NotAdjacent;
}
