#include "record/csvformat.h"

#include "record/datamodel.h"

#include <QAbstractItemModel>
#include <QTextCodec>
#include <utility>

namespace {

const QChar kQuote = QLatin1Char('"');

bool needsQuotes(const QString &field)
{
    for (const QChar c : field) {
        if (c == QLatin1Char(',') || c == kQuote || c == QLatin1Char('\r') ||
            c == QLatin1Char('\n'))
            return true;
    }
    return false;
}

void appendField(QString &out, const QString &field)
{
    if (!needsQuotes(field)) {
        out += field;
        return;
    }
    out += kQuote;
    for (const QChar c : field) {
        if (c == kQuote)
            out += kQuote;
        out += c;
    }
    out += kQuote;
}

// Calls visit(text) for each cell of a row of the model, in column order. The record table hands
// out its texts directly, which spares a variant per cell.
template<class Visit> void forEachCell(const QAbstractItemModel *model, int row, Visit visit)
{
    const int columns = model->columnCount();
    if (const auto *records = qobject_cast<const DataModel *>(model)) {
        for (int column = 0; column < columns; ++column)
            visit(records->cellText(row, column));
        return;
    }
    for (int column = 0; column < columns; ++column)
        visit(model->data(model->index(row, column), Qt::DisplayRole).toString());
}

} // namespace

void appendCsvRow(QString &out, const QAbstractItemModel *model, int row)
{
    bool first = true;
    forEachCell(model, row, [&](const QString &text) {
        if (!std::exchange(first, false))
            out += QLatin1Char(',');
        appendField(out, text);
    });
    out += QLatin1Char('\n');
}

void appendCsvLine(QString &out, const QStringList &fields)
{
    for (int i = 0; i < fields.size(); ++i) {
        if (i > 0)
            out += QLatin1Char(',');
        appendField(out, fields.at(i));
    }
    out += QLatin1Char('\n');
}

QString csvLine(const QStringList &fields)
{
    QString line;
    appendCsvLine(line, fields);
    return line;
}

QStringList csvHeaderFields(const QAbstractItemModel *model)
{
    QStringList fields;
    for (int column = 0; column < model->columnCount(); ++column)
        fields.append(model->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString());
    return fields;
}

QStringList csvRowFields(const QAbstractItemModel *model, int row)
{
    QStringList fields;
    fields.reserve(model->columnCount());
    forEachCell(model, row, [&fields](const QString &text) { fields.append(text); });
    return fields;
}

QByteArray encodeCsv(const QString &text)
{
    return QTextCodec::codecForLocale()->fromUnicode(text);
}
