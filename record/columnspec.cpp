#include "record/columnspec.h"

#include <QCoreApplication>
#include <QTranslator>

#include <functional>

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

QString installedTranslation(const char *title)
{
    return QCoreApplication::translate("Widget", title);
}

QStringList columnTitles(const std::function<QString(const char *title)> &translate)
{
    QStringList titles;
    for (const Column &column : kColumns)
        titles.append(translate(column.title));
    return titles;
}

} // namespace

QList<ColumnSpec *> createRecordColumns()
{
    QList<ColumnSpec *> columns;
    for (const Column &column : kColumns)
        columns.append(new ColumnSpec(installedTranslation(column.title), column.weight));
    return columns;
}

QStringList englishRecordColumnTitles()
{
    return columnTitles([](const char *title) { return QString::fromLatin1(title); });
}

QList<QStringList> recordHeadersInEveryLanguage(const QStringList &catalogues)
{
    QList<QStringList> headers{columnTitles(installedTranslation)};
    const auto add = [&headers](const QStringList &titles) {
        if (!headers.contains(titles))
            headers.append(titles);
    };
    add(englishRecordColumnTitles());
    for (const QString &catalogue : catalogues) {
        QTranslator translator;
        if (!translator.load(catalogue))
            continue;
        add(columnTitles([&translator](const char *title) {
            const QString translated = translator.translate("Widget", title);
            return translated.isEmpty() ? QString::fromLatin1(title) : translated;
        }));
    }
    return headers;
}
