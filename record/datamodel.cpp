#include "record/datamodel.h"

#include "meter/dmmdata.h"
#include "record/columnspec.h"
#include "record/readingsummary.h"

#include <QMetaMethod>

#include <algorithm>
#include <memory>

DataModel::DataModel(const QList<ColumnSpec *> &columns, QObject *parent)
    : QAbstractTableModel(parent)
    , m_columns(columns)
{
    connect(&m_marking, &SlicedTask::finished, this, &DataModel::alarmsMarked);
}

DataModel::~DataModel() = default;

int DataModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_readings.count();
}

int DataModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_columns.size();
}

QVariant DataModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_readings.count() || index.column() >= m_columns.size())
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
    const int rows = m_readings.count();
    if (parent.isValid() || row >= rows)
        return false;
    const int first = std::max(row, 0);
    const int last = std::min(row + count - 1, rows - 1);
    if (first > last)
        return false;
    beginRemoveRows(QModelIndex(), first, last);
    m_readings.remove(first, last - first + 1);
    endRemoveRows();
    return true;
}

int DataModel::appendRecord(DmmData *record, bool alarm)
{
    if (!record)
        return m_readings.count();
    const std::unique_ptr<DmmData> owned(record);
    const QDateTime timestamp = record->timestamp();
    return appendReading(*record, timestamp.isValid() ? timestamp.toMSecsSinceEpoch() : kNoTime,
                         alarm);
}

int DataModel::appendReading(const DmmData &reading, qint64 msecs, bool alarm)
{
    return appendReading(msecs, reading.value(), reading.valueText(),
                         {reading.functionName(), reading.rangeText(), reading.unitText()},
                         reading.overload(), readingResolution(reading), alarm);
}

int DataModel::appendReading(qint64 msecs, double value, const QString &valueText,
                             const ReadingStore::Pieces &pieces, int overload, int resolution,
                             bool alarm)
{
    const int row = m_readings.count();
    // A row appended at the end moves no row before it, so without watchers there is nothing to
    // tell.
    const bool announced = m_insertionWatchers > 0;
    if (announced)
        beginInsertRows(QModelIndex(), row, row);
    m_readings.append(msecs, value, valueText, pieces, overload, resolution, alarm);
    if (announced)
        endInsertRows();
    return row + 1;
}

void DataModel::connectNotify(const QMetaMethod &signal)
{
    if (signal == QMetaMethod::fromSignal(&QAbstractItemModel::rowsAboutToBeInserted) ||
        signal == QMetaMethod::fromSignal(&QAbstractItemModel::rowsInserted))
        ++m_insertionWatchers;
}

void DataModel::disconnectNotify(const QMetaMethod &signal)
{
    if (signal == QMetaMethod::fromSignal(&QAbstractItemModel::rowsAboutToBeInserted) ||
        signal == QMetaMethod::fromSignal(&QAbstractItemModel::rowsInserted))
        --m_insertionWatchers;
}

void DataModel::clearRecords()
{
    if (m_readings.count() == 0)
        return;
    beginRemoveRows(QModelIndex(), 0, m_readings.count() - 1);
    m_readings.clear();
    endRemoveRows();
}

void DataModel::markAlarms(const LimitAlarm &limits)
{
    m_readings.startMarking(limits);
    m_marking.start([this](SlicedTask::Clock::time_point deadline) {
        return m_readings.continueMarking(deadline);
    });
}

void DataModel::takeRecords(DataModel &source)
{
    beginResetModel();
    source.beginResetModel();
    m_readings.swap(source.m_readings);
    source.m_readings.clear();
    source.endResetModel();
    endResetModel();
}

QString DataModel::cellText(int row, int column) const
{
    if (row < 0 || row >= m_readings.count())
        return QString();
    switch (column) {
    case NumberColumn:
        return QString::number(row + 1);
    case TimeColumn: {
        const qint64 msecs = m_readings.msecs(row);
        return msecs == kNoTime ? QString() : m_timeFormatter.text(msecs);
    }
    case FunctionColumn:
        return m_readings.pieces(row).functionName;
    case RangeColumn:
        return m_readings.pieces(row).rangeText;
    case ValueColumn:
        return m_readings.valueText(row);
    case UnitColumn:
        return m_readings.pieces(row).unitText;
    }
    return QString();
}
