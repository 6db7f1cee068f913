#pragma once

#include "record/readingstore.h"
#include "record/slicedtask.h"
#include "record/timestampformatter.h"

#include <QAbstractTableModel>
#include <QList>
#include <QString>

#include <atomic>

class ColumnSpec;
class DmmData;

// The record table: every admitted reading, oldest first, shown as number, time, function,
// range, value and unit. Two weeks of readings at full rate must fit in memory, so the readings
// are kept in a compact store, which the chart of the recording reads as well.
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
    static constexpr qint64 kNoTime = ReadingStore::kNoTime;

    // Takes ownership of the reading, keeps its contents and deletes it; returns the row count.
    // alarm: the reading was outside the limits.
    int appendRecord(DmmData *record, bool alarm = false);
    // Appends a copy of the reading, at the instant msecs (kNoTime: none) in place of its time
    // stamp, which spares a time zone conversion per row; returns the row count.
    int appendReading(const DmmData &reading, qint64 msecs, bool alarm = false);
    // The same for a reading given by its parts: the texts it shares with the readings of its
    // function and range, the sign of an overload (0: none) and its display step (as
    // readingResolution() gives it).
    int appendReading(qint64 msecs, double value, const QString &valueText,
                      const ReadingStore::Pieces &pieces, int overload, int resolution,
                      bool alarm = false);
    // Takes over every row of source, which is left empty; views see the table reset.
    void takeRecords(DataModel &source);
    // Removes every row (no signal when the table is already empty).
    void clearRecords();
    // Marks every row anew as inside or outside limits, in slices between turns of the event
    // loop; alarmsMarked() tells when all rows, and the figures, show the new marks. Rows
    // appended meanwhile are marked by whoever appends them, against the new limits.
    void markAlarms(const LimitAlarm &limits);

    // The display text of a cell as the table shows it; empty outside the table.
    QString cellText(int row, int column) const;
    // The rows as stored, for those who show them otherwise (the chart).
    const ReadingStore &readings() const { return m_readings; }

signals:
    void alarmsMarked();

protected:
    void connectNotify(const QMetaMethod &signal) override;
    void disconnectNotify(const QMetaMethod &signal) override;

private:
    QList<ColumnSpec *> m_columns;
    ReadingStore m_readings;
    mutable TimestampFormatter m_timeFormatter;
    SlicedTask m_marking;
    // Connections to the signals of rows inserted: a table no one watches (an import's, being
    // read) appends its rows without announcing each.
    std::atomic<int> m_insertionWatchers{0};
};
