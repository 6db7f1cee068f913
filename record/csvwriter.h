#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QAbstractItemModel;
class QIODevice;
class ReadingStore;

// Writes the model as CSV: a line of header texts, then one line per row. The file is replaced
// only once every byte is written; false (and any earlier file left as it was) when the file
// cannot be created or a write fails, for example on a full disk, with the system's reason in
// error when one is given.
bool writeCsv(QAbstractItemModel *model, const QString &fileName, QString *error = nullptr);

// Writes the same lines to an open device; false when a write falls short.
bool writeCsv(const QAbstractItemModel *model, QIODevice &device);

// Replaces the file with what write puts on the device, as writeCsv does: false (the file left as
// it was) when write returns false or the file cannot be written, with the device's reason in
// error when there is one.
bool writeFileSafely(const QString &fileName, const std::function<bool(QIODevice &)> &write,
                     QString *error = nullptr);

// Writes readings as the record table's CSV, the header fields first, to an open device. goOn is
// asked after each chunk, with the rows written so far; false from it stops the writing. False
// when stopped or when a write falls short.
bool writeRecordCsv(const ReadingStore &readings, const QStringList &header, QIODevice &device,
                    const std::function<bool(int rows)> &goOn = {});
