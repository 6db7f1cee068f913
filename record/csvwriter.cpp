#include "record/csvwriter.h"

#include "record/csvformat.h"
#include "record/datamodel.h"
#include "record/recordcsvencoder.h"

#include <QAbstractItemModel>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

// Lines are gathered into chunks of about this many characters (bytes) before they are encoded
// and written, so that a large table costs few conversions and system calls.
constexpr int kChunkChars = 64 * 1024;
constexpr int kChunkBytes = 1024 * 1024;

bool writeChunk(QIODevice &device, const QString &text)
{
    const QByteArray bytes = encodeCsv(text);
    return device.write(bytes) == bytes.size();
}

// A device or pipe cannot be replaced by renaming a finished file onto it; it is written in place.
bool isSpecialFile(const QString &fileName)
{
    const QFileInfo info(fileName);
    return info.exists() && !info.isFile() && !info.isDir();
}

// Keeps the device's reason for a failure.
bool succeeded(bool done, const QIODevice &device, QString *error)
{
    if (!done && error)
        *error = device.errorString();
    return done;
}

bool writeInPlace(const QString &fileName, const std::function<bool(QIODevice &)> &write,
                  QString *error)
{
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return succeeded(false, file, error);
    return succeeded(write(file), file, error);
}

} // namespace

bool writeCsv(const QAbstractItemModel *model, QIODevice &device)
{
    // The record table's rows go the fast way.
    if (const auto *records = qobject_cast<const DataModel *>(model))
        return writeRecordCsv(records->readings(), csvHeaderFields(model), device);
    QString chunk;
    chunk.reserve(kChunkChars + 1024);
    appendCsvLine(chunk, csvHeaderFields(model));
    const int rows = model->rowCount();
    for (int row = 0; row < rows; ++row) {
        appendCsvRow(chunk, model, row);
        if (chunk.size() >= kChunkChars) {
            if (!writeChunk(device, chunk))
                return false;
            chunk.resize(0); // keeps the capacity for the next chunk
        }
    }
    return writeChunk(device, chunk);
}

bool writeCsv(QAbstractItemModel *model, const QString &fileName, QString *error)
{
    return writeFileSafely(
        fileName, [model](QIODevice &device) { return writeCsv(model, device); }, error);
}

bool writeFileSafely(const QString &fileName, const std::function<bool(QIODevice &)> &write,
                     QString *error)
{
    if (isSpecialFile(fileName))
        return writeInPlace(fileName, write, error);
    QSaveFile file(fileName);
    // Unbuffered, so that every failing write is seen here and not later in a silent flush.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return succeeded(false, file, error);
    // A failed write leaves the file uncommitted, and the unfinished copy is discarded with it.
    return succeeded(write(file) && file.commit(), file, error);
}

bool writeRecordCsv(const ReadingStore &readings, const QStringList &header, QIODevice &device,
                    const std::function<bool(int rows)> &goOn)
{
    QByteArray chunk = encodeCsv(csvLine(header));
    chunk.reserve(kChunkBytes + 4096);
    RecordCsvEncoder encoder(readings);
    const int rows = readings.count();
    for (int row = 0; row < rows; ++row) {
        encoder.appendRow(chunk, row);
        if (chunk.size() >= kChunkBytes) {
            if (device.write(chunk) != chunk.size() || (goOn && !goOn(row + 1)))
                return false;
            chunk.resize(0);
        }
    }
    return device.write(chunk) == chunk.size();
}
