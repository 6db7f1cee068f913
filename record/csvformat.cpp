#include "record/csvformat.h"

#include "record/datamodel.h"

#include <QAbstractItemModel>
#include <QTextCodec>

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

} // namespace

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
    const int columns = model->columnCount();
    fields.reserve(columns);
    // The record table hands out its texts directly, which spares a variant per cell.
    if (const auto *records = qobject_cast<const DataModel *>(model)) {
        for (int column = 0; column < columns; ++column)
            fields.append(records->cellText(row, column));
        return fields;
    }
    for (int column = 0; column < columns; ++column)
        fields.append(model->data(model->index(row, column), Qt::DisplayRole).toString());
    return fields;
}

QByteArray encodeCsv(const QString &text)
{
    return QTextCodec::codecForLocale()->fromUnicode(text);
}
