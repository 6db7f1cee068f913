#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class QAbstractItemModel;

// The CSV line format shared by the export, the recording journal and the command line, so that
// all three write the same bytes for the same table.

// Appends one line to out: the fields joined by commas, ending in a line feed. A field holding a
// comma, double quote, carriage return or line feed is enclosed in double quotes with its quotes
// doubled, so that it reads back as one field; every other field is written as it is.
void appendCsvLine(QString &out, const QStringList &fields);
QString csvLine(const QStringList &fields);

// The horizontal header texts of the model, in column order.
QStringList csvHeaderFields(const QAbstractItemModel *model);
// The display texts of one row of the model, in column order.
QStringList csvRowFields(const QAbstractItemModel *model, int row);
// Appends the line of those texts to out, as appendCsvLine would.
void appendCsvRow(QString &out, const QAbstractItemModel *model, int row);

// The text in the local 8-bit encoding, without byte-order mark.
QByteArray encodeCsv(const QString &text);
