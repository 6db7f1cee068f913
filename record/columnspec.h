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
// The header lines a recording may carry, whichever language wrote it: the titles as the
// installed translators give them first, then in English, then in the language of each
// catalogue (the ones the program ships), without repeats. Each catalogue is loaded into a
// translator of its own that is never installed, so the interface keeps its language; one that
// cannot be loaded adds nothing.
QList<QStringList> recordHeadersInEveryLanguage(const QStringList &catalogues);
