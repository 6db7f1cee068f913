#include "record/columnspec.h"

#include <QCoreApplication>

ColumnSpec::ColumnSpec(const QString &title, int weight)
    : m_title(title)
    , m_weight(weight)
{
}

namespace {

struct Column
{
    const char *title;
    int weight;
};
const Column kColumns[] = {
    {QT_TRANSLATE_NOOP("Widget", "No."), 1},      {QT_TRANSLATE_NOOP("Widget", "Date/Time"), 3},
    {QT_TRANSLATE_NOOP("Widget", "Function"), 3}, {QT_TRANSLATE_NOOP("Widget", "Range"), 2},
    {QT_TRANSLATE_NOOP("Widget", "Value"), 2},    {QT_TRANSLATE_NOOP("Widget", "Unit"), 2},
};

} // namespace

QList<ColumnSpec *> createRecordColumns()
{
    QList<ColumnSpec *> columns;
    for (const Column &column : kColumns)
        columns.append(
            new ColumnSpec(QCoreApplication::translate("Widget", column.title), column.weight));
    return columns;
}

QStringList englishRecordColumnTitles()
{
    QStringList titles;
    for (const Column &column : kColumns)
        titles.append(QString::fromLatin1(column.title));
    return titles;
}
