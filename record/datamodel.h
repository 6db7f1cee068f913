#pragma once

#include "record/timestampformatter.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QList>
#include <QString>
#include <QVector>

#include <limits>
#include <memory>
#include <vector>

class ColumnSpec;
class DmmData;
class FunctionEntry;

// The record table: every admitted reading, oldest first, shown as number, time, function,
// range, value and unit. A week of readings at several per second must fit in memory, so a
// reading is kept in 32 bytes: its instant, number, display characters and flags, plus an index
// into the few distinct combinations of table row and texts that the recording has seen.
class DataModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column
    {
        NumberColumn,
        TimeColumn,
        FunctionColumn,
        RangeColumn,
        ValueColumn,
        UnitColumn
    };

    explicit DataModel(const QList<ColumnSpec *> &columns, QObject *parent = nullptr);
    ~DataModel() override;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    bool removeRows(int row, int count, const QModelIndex &parent = QModelIndex()) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // The instant of a row without time stamp.
    static constexpr qint64 kNoTime = std::numeric_limits<qint64>::min();

    // Takes ownership of the reading, keeps its contents and deletes it; returns the row count.
    int appendRecord(DmmData *record);
    // Appends a copy of the reading, at the instant msecs (kNoTime: none) in place of its time
    // stamp, which spares a time zone conversion per row; returns the row count.
    int appendReading(const DmmData &reading, qint64 msecs);
    // Takes over every row of source, which is left empty; views see the table reset.
    void takeRecords(DataModel &source);
    // Removes every row (no signal when the table is already empty).
    void clearRecords();

    // The display text of a cell as the table shows it; empty outside the table.
    QString cellText(int row, int column) const;

private:
    // What readings of one function, range and state have in common.
    struct Profile
    {
        const FunctionEntry *entry = nullptr;
        QString functionName;
        QString rangeText;
        QString unitText;
        QString maxMinText;
        QString peakText;
        QString couplingText;
        int overload = 0;
        bool operator==(const Profile &other) const;
    };
    friend uint qHash(const Profile &profile, uint seed);

    // One reading as stored: 32 bytes.
    struct Row
    {
        qint64 msecs; // the instant; kNoTime for a reading without time stamp
        double value;
        quint32 profile;  // index into m_profiles
        quint32 sideText; // 0, or 1 + index into m_sideTexts for a display text of other shape
        char text[7];     // the seven display characters as Latin-1
        quint8 flags;
    };
    static_assert(sizeof(Row) == 32, "a stored reading takes 32 bytes");
    static constexpr int kBlockShift = 12;
    static constexpr int kBlockRows = 1 << kBlockShift;
    using Block = std::unique_ptr<Row[]>;

    const Row &rowAt(int row) const;
    Row &rowAt(int row);
    quint32 internProfile(const DmmData &record);
    Row packRow(const DmmData &record, qint64 msecs);
    QString valueTextOf(const Row &row) const;
    void shrinkTo(int rows);

    QList<ColumnSpec *> m_columns;
    std::vector<Block> m_blocks;
    int m_rows = 0;
    QVector<Profile> m_profiles;
    QHash<Profile, quint32> m_profileIndex;
    QVector<QString> m_sideTexts;
    mutable TimestampFormatter m_timeFormatter;
};
