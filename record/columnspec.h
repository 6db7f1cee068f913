#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// One column of the record table: its translated title and its share of the printed width.
class ColumnSpec
{
public:
    ColumnSpec(const QString &title, int weight);

    QString title() const { return m_title; }
    int weight() const { return m_weight; }

private:
    QString m_title;
    int m_weight;
};

// The six columns of the record table (number, time, function, range, value, unit) with their
// titles translated in the window's context. The caller owns the returned objects.
QList<ColumnSpec *> createRecordColumns();
// The same titles untranslated, as an English user interface shows them.
QStringList englishRecordColumnTitles();
