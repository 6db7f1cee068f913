#include "record/columnfit.h"

#include "meter/functionentry.h"
#include "meter/mydmm.h"
#include "record/timestampformatter.h"

#include <QDateTime>
#include <QHeaderView>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTableView>

namespace {

// Six digits: a day of readings at one a second fits.
const QString kNumberPattern = QStringLiteral("000000");
// The meter's seven display characters with a sign and the most digits.
const QString kValuePattern = QStringLiteral("-0000.0");

// The pattern with every digit replaced by each digit in turn: digits need not share one width.
QStringList withEachDigit(const QString &pattern)
{
    QStringList texts;
    for (char digit = '0'; digit <= '9'; ++digit) {
        QString text = pattern;
        for (QChar &c : text)
            if (c.isDigit())
                c = QLatin1Char(digit);
        texts << text;
    }
    return texts;
}

// The width a cell needs to show text unelided: the text and the style's margins around it, as
// the style itself works them out, and the grid line the view takes from each cell.
int cellWidth(const QTableView *view, const QString &text)
{
    QStyleOptionViewItem option;
    option.initFrom(view);
    option.font = view->font();
    option.fontMetrics = QFontMetrics(option.font);
    option.features = QStyleOptionViewItem::HasDisplay;
    option.text = text;
    option.displayAlignment = Qt::AlignCenter;
    const QSize size =
        view->style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), view);
    return size.width() + (view->showGrid() ? 1 : 0);
}

} // namespace

QList<QStringList> recordColumnTexts(const QList<const FunctionEntry *> &entries)
{
    const QDateTime someTime(QDate(2000, 1, 1), QTime(0, 0));
    QList<QStringList> texts{withEachDigit(kNumberPattern),
                             withEachDigit(TimestampFormatter().text(someTime.toMSecsSinceEpoch())),
                             {},
                             {},
                             withEachDigit(kValuePattern),
                             {}};
    for (const FunctionEntry *entry : entries) {
        if (entry->functionCode() == functions::kAcPlusDc) {
            for (const char *coupling : {"AC", "DC"})
                texts[2] << MyDmm::dualFunctionName(*entry, QLatin1String(coupling));
        } else {
            texts[2] << entry->name();
        }
        texts[3] << MyDmm::rangeText(*entry);
        texts[5] << entry->prefix() + entry->unit();
    }
    return texts;
}

void widenColumnsToFit(QTableView *view, const QList<QStringList> &texts)
{
    const QHeaderView *header = view->horizontalHeader();
    for (int column = 0; column < header->count(); ++column) {
        int width = qMax(view->columnWidth(column), header->sectionSizeHint(column));
        for (const QString &text : texts.value(column))
            width = qMax(width, cellWidth(view, text));
        view->setColumnWidth(column, width);
    }
}
