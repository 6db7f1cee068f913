#include "meter/functionentry.h"

#include <initializer_list>

FunctionEntry::FunctionEntry(qint64 key, int fullScale, const QString &name, const QString &prefix,
                             const QString &unit, const QVariant &upper)
    : m_key(key)
    , m_fullScale(fullScale)
    , m_name(name)
    , m_prefix(prefix)
    , m_unit(unit)
    , m_upper(upper)
{
}

const QList<quint8> scaledFunctions = {4, 6, 7, 9, 18, 19, 20, 22};

bool isScaledFunction(quint8 code)
{
    return scaledFunctions.contains(code);
}

namespace {

const QString kOhm = QString(QChar(0x03A9));
const QString kCelsiusUnit = QString(QChar(0x2103));
const QString kFahrenheitUnit = QString(QChar(0x2109));

// One range of a function: its figure, prefix and unit (and the upper limit of a temperature).
struct Range
{
    int fullScale;
    const char *prefix;
    QString unit;
    int upper = 0;
};

// The ranges of one function, numbered from range code 0x30 upwards.
struct Function
{
    quint8 code;
    const char *name;
    std::initializer_list<Range> ranges;
};

void appendRows(FunctionTable &table, std::initializer_list<Function> functions)
{
    for (const Function &function : functions) {
        int rangeCode = 0x30;
        for (const Range &range : function.ranges) {
            table.append(new FunctionEntry(qint64(function.code) * 256 + rangeCode++,
                                           range.fullScale, QString::fromLatin1(function.name),
                                           QString::fromLatin1(range.prefix), range.unit,
                                           QVariant(range.upper)));
        }
    }
}

const QString V = QStringLiteral("V");
const QString Hz = QStringLiteral("Hz");
const QString Pct = QStringLiteral("%");
const QString F = QStringLiteral("F");
const QString A = QStringLiteral("A");
const QString None;

void fillDefaultTable(FunctionTable &table)
{
    // clang-format off
    appendRows(table, {
        {0, "ACV", {{6, "", V}, {60, "", V}, {600, "", V}, {1000, "", V}}},
        {1, "ACmV", {{60, "m", V}, {600, "m", V}}},
        {2, "DCV", {{6, "", V}, {60, "", V}, {600, "", V}, {1000, "", V}}},
        {3, "DCmV", {{60, "m", V}, {600, "m", V}}},
        {4, "FREQ", {{99, "", Hz}, {999, "", Hz}, {9, "K", Hz}, {99, "K", Hz}, {999, "K", Hz},
                     {9, "M", Hz}}},
        {5, "Duty Cycle", {{999, "", Pct}}},
        {6, "RES", {{600, "", kOhm}, {6, "K", kOhm}, {60, "K", kOhm}, {600, "K", kOhm},
                    {6, "M", kOhm}, {60, "M", kOhm}}},
        {7, "Short-Circuit", {{600, "", kOhm}}},
        {8, "Diode", {{6, "", V}}},
        {9, "CAP", {{60, "n", F}, {600, "n", F}, {6, "u", F}, {60, "u", F}, {600, "u", F},
                    {6, "m", F}, {60, "m", F}}},
        {10, "Temperature", {{-40, "", kCelsiusUnit, 300}, {300, "", kCelsiusUnit, 1000}}},
        {11, "Temperature", {{-40, "", kFahrenheitUnit, 572}, {572, "", kFahrenheitUnit, 1832}}},
        {12, "DCuA", {{600, "u", A}, {6000, "u", A}}},
        {13, "ACuA", {{600, "u", A}, {6000, "u", A}}},
        {14, "DCmA", {{60, "m", A}, {600, "m", A}}},
        {15, "ACmA", {{60, "m", A}, {600, "m", A}}},
        {16, "DCA", {{6, "", A}, {10, "", A}}},
        {17, "ACA", {{6, "", A}, {10, "", A}}},
        {18, "hFE", {{6000, "", None}}},
        {19, "Live", {{6000, "", None}}},
        {20, "NCV", {{6000, "", None}, {6000, "", None}}},
        {21, "LozV", {{600, "", V}, {1000, "", V}}},
        {22, "FREQ", {{99, "", Hz}, {999, "", Hz}, {9, "K", Hz}, {99, "K", Hz}, {999, "K", Hz},
                      {9, "M", Hz}}},
        {23, "Duty Cycle", {{999, "", Pct}}},
    });
    // clang-format on
}

void fillETable(FunctionTable &table)
{
    // clang-format off
    appendRows(table, {
        {0, "ACV", {{2, "", V}, {22, "", V}, {220, "", V}, {1000, "", V}}},
        {1, "ACmV", {{220, "m", V}}},
        {2, "DCV", {{2, "", V}, {22, "", V}, {220, "", V}, {1000, "", V}}},
        {3, "DCmV", {{220, "m", V}}},
        {4, "FREQ", {{22, "", Hz}, {220, "", Hz}, {2, "K", Hz}, {22, "K", Hz}, {220, "K", Hz},
                     {2, "M", Hz}, {22, "M", Hz}, {220, "M", Hz}}},
        {5, "Duty Cycle", {{999, "", Pct}}},
        {6, "RES", {{220, "", kOhm}, {2, "K", kOhm}, {22, "K", kOhm}, {220, "K", kOhm},
                    {2, "M", kOhm}, {22, "M", kOhm}, {220, "M", kOhm}}},
        {7, "Short-Circuit", {{200, "", kOhm}}},
        {8, "Diode", {{2, "", V}}},
        {9, "CAP", {{22, "n", F}, {220, "n", F}, {2, "u", F}, {22, "u", F}, {220, "u", F},
                    {2, "m", F}, {22, "m", F}, {220, "m", F}}},
        {10, "Celsius", {{-40, "", kCelsiusUnit, 300}, {300, "", kCelsiusUnit, 1000}}},
        {11, "Celsius", {{-40, "", kFahrenheitUnit, 572}, {572, "", kFahrenheitUnit, 1832}}},
        {12, "DCuA", {{220, "u", A}, {2200, "u", A}}},
        {13, "ACuA", {{220, "u", A}, {2200, "u", A}}},
        {14, "DCmA", {{22, "m", A}, {220, "m", A}}},
        {15, "ACmA", {{22, "m", A}, {220, "m", A}}},
        {16, "DCA", {{2, "", A}, {22, "", A}}},
        {17, "ACA", {{2, "", A}, {22, "", A}}},
        {18, "hFE", {{6000, "", None}}},
        {19, "Live", {{6000, "", None}}},
        {20, "NCV", {{6000, "", None}, {6000, "", None}}},
        {21, "LozV", {{600, "", V}, {1000, "", V}}},
        {22, "FREQ", {{99, "", Hz}, {999, "", Hz}, {9, "K", Hz}, {99, "K", Hz}, {999, "K", Hz},
                      {9, "M", Hz}}},
        {23, "Duty Cycle", {{999, "", Pct}}},
        {24, "LPF", {{2, "", V}, {22, "", V}, {220, "", V}, {1000, "", V}}},
        {25, "AC+DC", {{2, "", V}, {22, "", V}, {220, "", V}, {1000, "", V}}},
    });
    // clang-format on
}

} // namespace

void buildTables(FunctionTable &defaultTable, FunctionTable &eTable)
{
    qDeleteAll(defaultTable);
    defaultTable.clear();
    qDeleteAll(eTable);
    eTable.clear();
    fillDefaultTable(defaultTable);
    fillETable(eTable);
}

const FunctionEntry *findEntry(const FunctionTable &table, quint8 function, quint8 range)
{
    const qint64 key = qint64(function) * 256 + range;
    for (const FunctionEntry *entry : table) {
        if (entry->key() == key)
            return entry;
    }
    return nullptr;
}
