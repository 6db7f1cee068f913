#pragma once

#include <QHeaderView>
#include <QStyleOptionHeader>

// The row header of the record table. Every row has the same height, taken from the font, and
// the header's width does not depend on the rows (they carry no text), so appending a row,
// scrolling to it and painting cost the same with a million rows as with ten.
class RecordRowHeader : public QHeaderView
{
    Q_OBJECT
public:
    explicit RecordRowHeader(QWidget *parent = nullptr);

    // Whether every section of the header is shown, in model order, at the default size. Then a
    // section's place follows from its number, without the header's own look-up, which walks
    // all sections once after each one added.
    static bool hasUniformSections(const QHeaderView &header);
    // The section at a viewport position of such a header, or -1 outside the sections.
    static int uniformSectionAt(const QHeaderView &header, int position);

    // The row height for the header's present font and style.
    int fittingRowHeight() const;
    // The size of one section without text, as wide as the header needs to be; the height is
    // the length of all rows.
    QSize sizeHint() const override;

protected:
    void changeEvent(QEvent *event) override;
    // Paints as the plain header does; its sections are not clickable, so no selection shows.
    void paintEvent(QPaintEvent *event) override;

private:
    void paintRow(QPainter &painter, const QRect &rect, int row) const;
    QStyleOptionHeader::SectionPosition rowPosition(int row) const;
    QStyleOptionHeader::SelectedPosition selectedNeighbours(int row) const;
};
