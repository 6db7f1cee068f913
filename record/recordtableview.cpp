#include "record/recordtableview.h"

#include "record/recordrowheader.h"

#include <QBitArray>
#include <QHoverEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>

namespace {
// Marks for the rows appended since the last layout.
constexpr int kNothingAppended = -1;
constexpr int kLayOutInFull = -2;
} // namespace

// A cell reaching into two dirty areas of one paint is painted once, as the plain view does.
struct RecordTableView::Cells
{
    int firstRow = 0;
    int firstColumn = 0;
    int columns = 0;
    QBitArray painted;

    bool take(int row, int visualColumn)
    {
        const int bit = (row - firstRow) * columns + visualColumn - firstColumn;
        if (bit < 0 || bit >= painted.size() || painted.testBit(bit))
            return false;
        painted.setBit(bit);
        return true;
    }
};

RecordTableView::RecordTableView(QWidget *parent)
    : QTableView(parent)
{
    setVerticalHeader(new RecordRowHeader(this));
    // Scrolling by pixels lets the view go to the last row without working out where each row
    // starts.
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
}

QSize RecordTableView::sizeHint() const
{
    const QHeaderView *rows = verticalHeader();
    const int header = rows->isHidden() ? 0 : qMax(rows->minimumWidth(), rows->sizeHint().width());
    const int bar =
        verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOff
            ? 0
            : style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, verticalScrollBar());
    return QSize(2 * frameWidth() + header + horizontalHeader()->length() + bar,
                 QTableView::sizeHint().height());
}

void RecordTableView::doItemsLayout()
{
    const int appended = m_appendedFrom;
    m_appendedFrom = kNothingAppended;
    if (appended < 0 || !rowsAreUniform()) {
        QTableView::doItemsLayout();
        return;
    }
    updateGeometries();
    viewport()->update(0, rowTop(appended), viewport()->width(), viewport()->height());
}

void RecordTableView::rowsInserted(const QModelIndex &parent, int start, int end)
{
    QTableView::rowsInserted(parent, start, end);
    if (parent.isValid() || end != model()->rowCount() - 1)
        m_appendedFrom = kLayOutInFull;
    else if (m_appendedFrom == kNothingAppended)
        m_appendedFrom = start;
}

void RecordTableView::rowsAboutToBeRemoved(const QModelIndex &parent, int start, int end)
{
    m_appendedFrom = kLayOutInFull;
    QTableView::rowsAboutToBeRemoved(parent, start, end);
}

void RecordTableView::resizeEvent(QResizeEvent *event)
{
    const QScrollBar *bar = verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    QTableView::resizeEvent(event);
    if (atEnd)
        scrollToBottom();
}

void RecordTableView::reset()
{
    m_appendedFrom = kLayOutInFull;
    QTableView::reset();
}

void RecordTableView::paintEvent(QPaintEvent *event)
{
    if (!rowsAreUniform() || alternatingRowColors() || isRightToLeft() ||
        horizontalHeader()->isHidden() || verticalHeader()->isHidden() ||
        state() == DraggingState) {
        QTableView::paintEvent(event);
        return;
    }
    QStyleOptionViewItem option = viewOptions();
    const int gridHint = style()->styleHint(QStyle::SH_Table_GridLineColor, &option, this);
    const QPen gridPen(QColor::fromRgba(QRgb(gridHint)), 0, gridStyle());
    QPainter painter(viewport());
    // The same pixels, but with a clip of its own the painter sets a thin pen's pixels (the
    // grid) directly instead of blending them one span at a time.
    painter.setClipRect(viewport()->rect());
    const QHeaderView *columns = horizontalHeader();
    const QHeaderView *rows = verticalHeader();
    if (columns->count() == 0 || rows->count() == 0 || !itemDelegate())
        return;

    Cells cells;
    cells.firstRow = qMax(rowAt(0), 0);
    int lastRow = rowAt(rows->viewport()->height());
    if (lastRow == -1)
        lastRow = model()->rowCount(rootIndex()) - 1;
    cells.firstColumn = qMax(columns->visualIndexAt(0), 0);
    int lastColumn = columns->visualIndexAt(columns->viewport()->width());
    if (lastColumn == -1)
        lastColumn = columns->count() - 1;
    cells.columns = lastColumn - cells.firstColumn + 1;
    cells.painted.resize((lastRow - cells.firstRow + 1) * cells.columns);

    const int right = columns->length() - columns->offset() - 1;
    const int bottom = rows->length() - rows->offset() - 1;
    for (QRect area : event->region()) {
        area.setBottom(qMin(area.bottom(), bottom));
        area.setRight(qMin(area.right(), right));
        if (area.isValid())
            paintArea(painter, option, gridPen, area, cells);
    }
}

bool RecordTableView::viewportEvent(QEvent *event)
{
    // The plain view keeps the hovered cell to itself; follow it the same way.
    switch (event->type()) {
    case QEvent::HoverEnter:
    case QEvent::HoverMove:
        m_hover = indexAt(static_cast<QHoverEvent *>(event)->pos());
        break;
    case QEvent::HoverLeave:
    case QEvent::Leave:
        m_hover = QPersistentModelIndex();
        break;
    default:
        break;
    }
    return QTableView::viewportEvent(event);
}

bool RecordTableView::rowsAreUniform() const
{
    return RecordRowHeader::hasUniformSections(*verticalHeader());
}

int RecordTableView::rowAt(int y) const
{
    return RecordRowHeader::uniformSectionAt(*verticalHeader(), y);
}

int RecordTableView::rowTop(int row) const
{
    return row * verticalHeader()->defaultSectionSize() - verticalHeader()->offset();
}

void RecordTableView::paintArea(QPainter &painter, QStyleOptionViewItem &option,
                                const QPen &gridPen, const QRect &area, Cells &cells) const
{
    const QHeaderView *columns = horizontalHeader();
    int left = columns->visualIndexAt(area.left());
    int right = columns->visualIndexAt(area.right());
    if (left == -1)
        left = 0;
    if (right == -1)
        right = columns->count() - 1;
    int bottom = rowAt(area.bottom());
    if (bottom == -1)
        bottom = verticalHeader()->count() - 1;
    const int top = rowAt(area.top());
    if (top == -1 || top > bottom)
        return;

    const int gridSize = showGrid() ? 1 : 0;
    const int height = verticalHeader()->defaultSectionSize() - gridSize;
    for (int row = top; row <= bottom; ++row) {
        for (int visualColumn = left; visualColumn <= right; ++visualColumn) {
            if (!cells.take(row, visualColumn))
                continue;
            const int column = columns->logicalIndex(visualColumn);
            if (columns->isSectionHidden(column))
                continue;
            const QModelIndex index = model()->index(row, column, rootIndex());
            if (!index.isValid())
                continue;
            option.rect = QRect(columnViewportPosition(column), rowTop(row),
                                columnWidth(column) - gridSize, height);
            paintCell(painter, option, index);
        }
    }
    if (showGrid())
        paintGrid(painter, gridPen, area, {top, bottom, left, right});
}

void RecordTableView::paintCell(QPainter &painter, const QStyleOptionViewItem &option,
                                const QModelIndex &index) const
{
    QStyleOptionViewItem cell = option;
    if (selectionModel() && selectionModel()->isSelected(index))
        cell.state |= QStyle::State_Selected;
    if (m_hover == index)
        cell.state |= QStyle::State_MouseOver;
    if (option.state & QStyle::State_Enabled) {
        const bool enabled = model()->flags(index) & Qt::ItemIsEnabled;
        if (!enabled)
            cell.state &= ~QStyle::State_Enabled;
        cell.palette.setCurrentColorGroup(enabled ? QPalette::Normal : QPalette::Disabled);
    }
    if (index == currentIndex() && (hasFocus() || viewport()->hasFocus()))
        cell.state |= QStyle::State_HasFocus;
    style()->drawPrimitive(QStyle::PE_PanelItemViewRow, &cell, &painter, this);
    itemDelegate(index)->paint(&painter, cell, index);
}

void RecordTableView::paintGrid(QPainter &painter, const QPen &gridPen, const QRect &area,
                                const Span &span) const
{
    const QPen old = painter.pen();
    painter.setPen(gridPen);
    const int rowBottom = verticalHeader()->defaultSectionSize() - 1;
    for (int row = span.top; row <= span.bottom; ++row) {
        const int y = rowTop(row) + rowBottom;
        painter.drawLine(area.left(), y, area.right(), y);
    }
    const QHeaderView *columns = horizontalHeader();
    for (int visualColumn = span.left; visualColumn <= span.right; ++visualColumn) {
        const int column = columns->logicalIndex(visualColumn);
        if (columns->isSectionHidden(column))
            continue;
        const int x = columnViewportPosition(column) + columnWidth(column) - 1;
        painter.drawLine(x, area.top(), x, area.bottom());
    }
    painter.setPen(old);
}
