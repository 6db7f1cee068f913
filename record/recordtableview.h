#pragma once

#include <QPersistentModelIndex>
#include <QTableView>

class QStyleOptionViewItem;

// The view of the record table. Its rows all have the same height (RecordRowHeader), so it
// finds the rows to paint by arithmetic. The plain table view asks the row header, which after
// every appended row walks all rows again to work out where each one starts: with a million
// rows that walk costs more than painting. It paints what the plain table view paints, and
// leaves painting to it whenever the table is set up otherwise (hidden or moved rows, rows of
// other heights, alternating colours, right to left, dragging).
class RecordTableView : public QTableView
{
    Q_OBJECT
public:
    explicit RecordTableView(QWidget *parent = nullptr);

    // Wide enough for every column beside the scroll bar that a long recording brings: with its
    // horizontal size policy, the record dock is never narrower.
    QSize sizeHint() const override;
    // After rows appended at the end, the rows in sight stay where they are: only the place of
    // the new rows is painted, and a scroll to them moves the rest by itself. Any other change
    // lays the view out as the plain view does, painting all of it.
    void doItemsLayout() override;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    void rowsInserted(const QModelIndex &parent, int start, int end) override;
    void rowsAboutToBeRemoved(const QModelIndex &parent, int start, int end) override;
    void reset() override;
    // A view that shows the last row keeps it whole in sight when it shrinks (the dock laid out
    // anew, taller figures under it): the newest reading is not half hidden.
    void resizeEvent(QResizeEvent *event) override;

private:
    // The visible stretch of rows and columns a paint covers, and which of its cells are done.
    struct Cells;
    // Rows top ... bottom and visual columns left ... right of one dirty area.
    struct Span
    {
        int top;
        int bottom;
        int left;
        int right;
    };

    bool rowsAreUniform() const;
    // The row at a viewport position, or -1 outside the rows.
    int rowAt(int y) const;
    int rowTop(int row) const;
    void paintArea(QPainter &painter, QStyleOptionViewItem &option, const QPen &gridPen,
                   const QRect &area, Cells &cells) const;
    void paintCell(QPainter &painter, const QStyleOptionViewItem &option,
                   const QModelIndex &index) const;
    void paintGrid(QPainter &painter, const QPen &gridPen, const QRect &area,
                   const Span &span) const;

    // The cell under the mouse, as the plain view follows it, for the hover state.
    QPersistentModelIndex m_hover;
    // The first row appended since the last layout while nothing else changed, or a mark.
    int m_appendedFrom = -1;
};
