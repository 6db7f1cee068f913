#pragma once

#include <QHeaderView>

// The row header of the record table. Every row has the same height, taken from the font, and
// the header's width does not depend on the rows (they carry no text), so appending a row and
// scrolling to it cost the same with a million rows as with ten.
class RecordRowHeader : public QHeaderView
{
    Q_OBJECT
public:
    explicit RecordRowHeader(QWidget *parent = nullptr);

    // The row height for the header's present font and style.
    int fittingRowHeight() const;
    // The size of one section without text, as wide as the header needs to be; the height is
    // the length of all rows.
    QSize sizeHint() const override;

protected:
    void changeEvent(QEvent *event) override;
};
