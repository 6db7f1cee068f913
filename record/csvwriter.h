#pragma once

#include <QString>

class QAbstractItemModel;
class QIODevice;

// Writes the model as CSV: a line of header texts, then one line per row. The file is replaced
// only once every byte is written; false (and any earlier file left as it was) when the file
// cannot be created or a write fails, for example on a full disk, with the system's reason in
// error when one is given.
bool writeCsv(QAbstractItemModel *model, const QString &fileName, QString *error = nullptr);

// Writes the same lines to an open device; false when a write falls short.
bool writeCsv(const QAbstractItemModel *model, QIODevice &device);
