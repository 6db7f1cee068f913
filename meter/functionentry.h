#pragma once

#include <QList>
#include <QString>
#include <QVariant>

// One row of a function and range table: what a (function code, range code) pair of a reply
// means. key = function code * 256 + range code.
class FunctionEntry
{
public:
    FunctionEntry(qint64 key, int fullScale, const QString &name, const QString &prefix,
                  const QString &unit, const QVariant &upper = QVariant(0));

    qint64 key() const { return m_key; }
    // The range figure in units of prefix and unit; the lower limit for temperature rows.
    int fullScale() const { return m_fullScale; }
    QString name() const { return m_name; }
    QString prefix() const { return m_prefix; }
    QString unit() const { return m_unit; }
    // Upper limit of a temperature row (functions 10 and 11); 0 elsewhere.
    QVariant upper() const { return m_upper; }

    quint8 functionCode() const { return quint8((m_key >> 8) & 0xFF); }
    quint8 rangeCode() const { return quint8(m_key & 0xFF); }

private:
    qint64 m_key;
    int m_fullScale;
    QString m_name;
    QString m_prefix;
    QString m_unit;
    QVariant m_upper;
};

using FunctionTable = QList<FunctionEntry *>;

// Function codes with a role beyond the table itself.
namespace functions {
constexpr quint8 kContinuity = 7;
constexpr quint8 kDiode = 8;
constexpr quint8 kCelsius = 10;
constexpr quint8 kFahrenheit = 11;
constexpr quint8 kNcv = 20;
constexpr quint8 kAcPlusDc = 25;
// The coupling an AC+DC reading shows.
constexpr char kAcCoupling[] = "AC";
constexpr char kDcCoupling[] = "DC";
} // namespace functions

// Functions whose value is converted to the unit without prefix and whose chart scales itself.
bool isScaledFunction(quint8 code);
extern const QList<quint8> scaledFunctions;

// Function code of a row (bits 8 to 15 of its key).
inline quint8 functionCode(const FunctionEntry *entry)
{
    return entry->functionCode();
}

// Deletes the rows of both tables and fills them anew in ascending key order.
void buildTables(FunctionTable &defaultTable, FunctionTable &eTable);

// The first row of table for the two codes, or null.
const FunctionEntry *findEntry(const FunctionTable &table, quint8 function, quint8 range);
