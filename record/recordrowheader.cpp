#include "record/recordrowheader.h"

#include <QEvent>
#include <QStyleOptionHeader>

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
