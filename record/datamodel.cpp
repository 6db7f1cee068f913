#include "record/datamodel.h"

#include "meter/dmmdata.h"
#include "record/columnspec.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

constexpr int kDisplayLength = 7;

// Annunciator bits of Row::flags.
enum Flag : quint8
{
    Hold = 1 << 0,
    Relative = 1 << 1,
    StatusBit3 = 1 << 2,
    ManualRange = 1 << 3,
    LowBattery = 1 << 4,
    StatusBit0 = 1 << 5,
};

quint8 flagsOf(const DmmData &record)
{
    return (record.hold() ? Hold : 0) | (record.relative() ? Relative : 0) |
           (record.statusBit3() ? StatusBit3 : 0) | (record.manualRange() ? ManualRange : 0) |
           (record.lowBattery() ? LowBattery : 0) | (record.statusBit0() ? StatusBit0 : 0);
}

// True when the text is the meter's usual seven characters, each within Latin-1.
bool fitsDisplay(const QString &text)
{
    if (text.size() != kDisplayLength)
        return false;
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() <= 0xFF; });
}

} // namespace

bool DataModel::Profile::operator==(const Profile &other) const
{
    return entry == other.entry && overload == other.overload &&
           functionName == other.functionName && rangeText == other.rangeText &&
           unitText == other.unitText && maxMinText == other.maxMinText &&
           peakText == other.peakText && couplingText == other.couplingText;
}

uint qHash(const DataModel::Profile &profile, uint seed)
{
    seed = qHash(profile.entry, seed) ^ qHash(profile.overload, seed);
    seed = qHash(profile.functionName, seed) ^ qHash(profile.rangeText, seed);
    seed = qHash(profile.unitText, seed) ^ qHash(profile.maxMinText, seed);
    return qHash(profile.peakText, seed) ^ qHash(profile.couplingText, seed);
}

DataModel::DataModel(const QList<ColumnSpec *> &columns, QObject *parent)
    : QAbstractTableModel(parent)
    , m_columns(columns)
{
}

DataModel::~DataModel() = default;

int DataModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int DataModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_columns.size();
}

QVariant DataModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows || index.column() >= m_columns.size())
        return QVariant();
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignCenter);
    if (role != Qt::DisplayRole)
        return QVariant();
    if (index.column() == NumberColumn)
        return index.row() + 1;
    return cellText(index.row(), index.column());
}

QVariant DataModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= m_columns.size())
        return QVariant();
    return m_columns.at(section)->title();
}

Qt::ItemFlags DataModel::flags(const QModelIndex &index) const
{
    return QAbstractTableModel::flags(index);
}

bool DataModel::removeRows(int row, int count, const QModelIndex &parent)
{
    if (parent.isValid() || row >= m_rows)
        return false;
    const int first = std::max(row, 0);
    const int last = std::min(row + count - 1, m_rows - 1);
    if (first > last)
        return false;
    beginRemoveRows(QModelIndex(), first, last);
    const int removed = last - first + 1;
    for (int source = last + 1; source < m_rows; ++source)
        rowAt(source - removed) = rowAt(source);
    shrinkTo(m_rows - removed);
    endRemoveRows();
    return true;
}

int DataModel::appendRecord(DmmData *record)
{
    if (!record)
        return m_rows;
    const std::unique_ptr<DmmData> owned(record);
    const QDateTime timestamp = record->timestamp();
    return appendReading(*record, timestamp.isValid() ? timestamp.toMSecsSinceEpoch() : kNoTime);
}

int DataModel::appendReading(const DmmData &reading, qint64 msecs)
{
    const Row packed = packRow(reading, msecs);
    beginInsertRows(QModelIndex(), m_rows, m_rows);
    if (m_rows == int(m_blocks.size()) * kBlockRows)
        m_blocks.emplace_back(new Row[kBlockRows]);
    ++m_rows;
    rowAt(m_rows - 1) = packed;
    endInsertRows();
    return m_rows;
}

void DataModel::clearRecords()
{
    if (m_rows == 0)
        return;
    beginRemoveRows(QModelIndex(), 0, m_rows - 1);
    shrinkTo(0);
    m_profiles.clear();
    m_profileIndex.clear();
    m_sideTexts.clear();
    endRemoveRows();
}

void DataModel::takeRecords(DataModel &source)
{
    beginResetModel();
    source.beginResetModel();
    m_blocks = std::move(source.m_blocks);
    m_rows = std::exchange(source.m_rows, 0);
    m_profiles = std::exchange(source.m_profiles, {});
    m_profileIndex = std::exchange(source.m_profileIndex, {});
    m_sideTexts = std::exchange(source.m_sideTexts, {});
    source.m_blocks.clear();
    source.endResetModel();
    endResetModel();
}

QString DataModel::cellText(int row, int column) const
{
    if (row < 0 || row >= m_rows)
        return QString();
    const Row &stored = rowAt(row);
    const Profile &profile = m_profiles.at(int(stored.profile));
    switch (column) {
    case NumberColumn:
        return QString::number(row + 1);
    case TimeColumn:
        return stored.msecs == kNoTime ? QString() : m_timeFormatter.text(stored.msecs);
    case FunctionColumn:
        return profile.functionName;
    case RangeColumn:
        return profile.rangeText;
    case ValueColumn:
        return valueTextOf(stored);
    case UnitColumn:
        return profile.unitText;
    }
    return QString();
}

const DataModel::Row &DataModel::rowAt(int row) const
{
    return m_blocks[size_t(row >> kBlockShift)][row & (kBlockRows - 1)];
}

DataModel::Row &DataModel::rowAt(int row)
{
    return m_blocks[size_t(row >> kBlockShift)][row & (kBlockRows - 1)];
}

// Readings in a recording share a handful of function, range and annunciator texts; each distinct
// combination is kept once. The last one used is checked first, since it nearly always repeats.
quint32 DataModel::internProfile(const DmmData &record)
{
    Profile profile;
    profile.entry = record.entry();
    profile.functionName = record.functionName();
    profile.rangeText = record.rangeText();
    profile.unitText = record.unitText();
    profile.maxMinText = record.maxMinText();
    profile.peakText = record.peakText();
    profile.couplingText = record.couplingText();
    profile.overload = record.overload();
    if (m_rows > 0) {
        const quint32 last = rowAt(m_rows - 1).profile;
        if (m_profiles.at(int(last)) == profile)
            return last;
    }
    const auto found = m_profileIndex.constFind(profile);
    if (found != m_profileIndex.constEnd())
        return found.value();
    const quint32 index = quint32(m_profiles.size());
    m_profiles.append(profile);
    m_profileIndex.insert(profile, index);
    return index;
}

DataModel::Row DataModel::packRow(const DmmData &record, qint64 msecs)
{
    Row row;
    row.msecs = msecs;
    row.value = record.value();
    row.profile = internProfile(record);
    row.flags = flagsOf(record);
    const QString text = record.valueText();
    if (fitsDisplay(text)) {
        row.sideText = 0;
        for (int i = 0; i < kDisplayLength; ++i)
            row.text[i] = char(text.at(i).unicode());
    } else {
        m_sideTexts.append(text);
        row.sideText = quint32(m_sideTexts.size());
        std::memset(row.text, 0, kDisplayLength);
    }
    return row;
}

QString DataModel::valueTextOf(const Row &row) const
{
    if (row.sideText != 0)
        return m_sideTexts.at(int(row.sideText - 1));
    return QString::fromLatin1(row.text, kDisplayLength);
}

// Drops the rows from the given count on and releases the blocks that no longer hold any.
void DataModel::shrinkTo(int rows)
{
    m_rows = rows;
    m_blocks.resize(size_t((rows + kBlockRows - 1) >> kBlockShift));
}
