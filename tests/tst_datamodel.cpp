#include "meter/dmmdata.h"
#include "meter/functionentry.h"
#include "record/columnspec.h"
#include "record/datamodel.h"
#include "record/timestampformatter.h"
#include "recordsamples.h"

#include <QtTest>

#include <memory>

#include <time.h>

namespace {

const QString kTimeFormat = QStringLiteral("yyyy-MM-dd hh:mm:ss");

QStringList cellTexts(const DataModel &model, int row)
{
    QStringList texts;
    for (int column = 0; column < model.columnCount(); ++column)
        texts.append(model.data(model.index(row, column)).toString());
    return texts;
}

// Makes model indexes for any cell, as a stale index or one of another model could point anywhere.
class IndexMaker : public QAbstractTableModel
{
public:
    int rowCount(const QModelIndex &) const override { return 0; }
    int columnCount(const QModelIndex &) const override { return 0; }
    QVariant data(const QModelIndex &, int) const override { return QVariant(); }
    QModelIndex make(int row, int column) const { return createIndex(row, column); }
};

// Every field of a reading, flags as 0 and 1.
QString describe(const DmmData &data)
{
    QString flags;
    for (bool on : {data.hold(), data.relative(), data.statusBit3(), data.manualRange(),
                    data.lowBattery(), data.statusBit0()})
        flags += on ? QLatin1Char('1') : QLatin1Char('0');
    return QStringList{data.timestamp().toString(Qt::ISODateWithMs),
                       QString::number(data.timestamp().timeSpec()),
                       QString::number(data.value(), 'g', 17),
                       data.valueText(),
                       QString::number(data.overload()),
                       data.unitText(),
                       data.rangeText(),
                       data.functionName(),
                       QString::number(quintptr(data.entry()), 16),
                       data.maxMinText(),
                       data.peakText(),
                       data.couplingText(),
                       flags}
        .join(QLatin1Char('|'));
}

} // namespace

class TestDataModel : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void rowsAreNumberedCentredAndTitled();
    void changesAreAnnouncedAndOutsideGivesNothing();
    void readingsComeBackUnchanged_data();
    void readingsComeBackUnchanged();
    void manyRowsSpanSeveralBlocks();
    void timeTextMatchesLocalTime();

private:
    void append(int count);

    recordsamples::RecordSetup m_setup;
    std::unique_ptr<DataModel> m_model;
    const QDateTime m_start{QDate(2024, 5, 1), QTime(23, 58, 0)};
    QByteArray m_savedTz;
};

void TestDataModel::initTestCase()
{
    // A zone with clock changes, so that the time texts meet them.
    m_savedTz = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin");
    tzset();
}

void TestDataModel::cleanupTestCase()
{
    qputenv("TZ", m_savedTz);
    tzset();
}

void TestDataModel::init()
{
    m_model.reset(new DataModel(m_setup.columns));
}

void TestDataModel::append(int count)
{
    recordsamples::generateRecording(m_setup.defaultTable, count, m_start,
                                     [this](DmmData *data) { m_model->appendRecord(data); });
}

void TestDataModel::rowsAreNumberedCentredAndTitled()
{
    QStringList titles;
    for (int section = 0; section < 7; ++section) {
        titles << m_model->headerData(section, Qt::Horizontal).toString();
        QVERIFY(!m_model->headerData(section, Qt::Vertical).isValid());
    }
    QCOMPARE(titles, (QStringList{"No.", "Date/Time", "Function", "Range", "Value", "Unit", ""}));
    // Numbering starts again after a clear.
    append(3);
    m_model->clearRecords();
    append(2);
    QCOMPARE(m_model->data(m_model->index(1, 0)).userType(), int(QMetaType::Int));
    QCOMPARE(m_model->data(m_model->index(1, 0)).toInt(), 2);
    for (int column = 0; column < 6; ++column) {
        const QModelIndex index = m_model->index(1, column);
        QCOMPARE(m_model->data(index, Qt::TextAlignmentRole).toInt(), int(Qt::AlignCenter));
        QVERIFY(!m_model->data(index, Qt::EditRole).isValid());
    }
}

void TestDataModel::changesAreAnnouncedAndOutsideGivesNothing()
{
    QStringList announced;
    connect(m_model.get(), &QAbstractItemModel::rowsInserted, [&](auto, int first, int last) {
        announced << QStringLiteral("insert %1-%2").arg(first).arg(last);
    });
    connect(m_model.get(), &QAbstractItemModel::rowsRemoved, [&](auto, int first, int last) {
        announced << QStringLiteral("remove %1-%2").arg(first).arg(last);
    });
    m_model->clearRecords(); // an empty table is cleared silently
    append(2);
    QCOMPARE(m_model->appendRecord(nullptr), 2);
    append(4);
    // Rows from one beyond the last cannot be removed; later rows move up; the count is clipped.
    const QStringList fifth = cellTexts(*m_model, 4);
    QVERIFY(!m_model->removeRows(6, 1));
    QVERIFY(m_model->removeRows(1, 3));
    QCOMPARE(cellTexts(*m_model, 1), QStringList{"2"} + fifth.mid(1));
    QVERIFY(m_model->removeRows(2, 10));
    append(1);
    QCOMPARE(m_model->data(m_model->index(2, 0)).toInt(), 3);
    m_model->clearRecords();
    QCOMPARE(announced,
             (QStringList{"insert 0-0", "insert 1-1", "insert 2-2", "insert 3-3", "insert 4-4",
                          "insert 5-5", "remove 1-3", "remove 2-2", "insert 2-2", "remove 0-2"}));

    append(2);
    for (const QPoint &cell : {QPoint(2, 1), QPoint(0, 6), QPoint(100000, 0)}) {
        const QModelIndex outside = IndexMaker().make(cell.x(), cell.y());
        QVERIFY(!m_model->data(outside).isValid());
        QVERIFY(!m_model->data(outside, Qt::TextAlignmentRole).isValid());
        QVERIFY(m_model->cellText(cell.x(), cell.y()).isEmpty());
    }
    QVERIFY(!m_model->materialize(-1));
    QVERIFY(!m_model->materialize(2));
}

void TestDataModel::readingsComeBackUnchanged_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("every table row") << 0;
    QTest::newRow("every annunciator, overload and display") << 1;
    QTest::newRow("unusual texts, no time") << 2;
}

// The compact rows give back each reading, and show its texts in the cells.
void TestDataModel::readingsComeBackUnchanged()
{
    QFETCH(int, kind);
    const auto samples = [&] {
        QList<DmmData *> readings;
        if (kind == 0)
            return recordsamples::everyRowReadings(m_setup.defaultTable, m_setup.eTable, m_start);
        if (kind == 1) {
            recordsamples::generateRecording(m_setup.defaultTable, 9 * 3 * 64, m_start,
                                             [&](DmmData *data) { readings.append(data); });
            return readings;
        }
        // Texts no decoder of this meter makes: a shorter and a longer display, characters
        // outside Latin-1, a NUL byte, quotes and commas; a reading without time.
        const FunctionEntry *row = findEntry(m_setup.defaultTable, 6, 0x32);
        for (const char *display : {"1.2", "12345.678", "1,5\xCE\xA9 ok", "", ""}) {
            const int n = readings.size();
            readings.append(recordsamples::makeReading(row, recordsamples::displays().at(0), n,
                                                       n < 4 ? m_start.addSecs(n) : QDateTime()));
            readings.last()->setValueText(QString::fromUtf8(display));
        }
        readings.at(1)->setFunctionName(QStringLiteral("RES, 4-wire"));
        readings.at(2)->setUnitText(QStringLiteral("\"K\xCE\xA9\""));
        readings.at(3)->setValueText(QString::fromLatin1("1\0002.3 4", 7));
        readings.at(3)->setRangeText(QStringLiteral("auto"));
        return readings;
    };
    const QList<DmmData *> expected = samples();
    for (DmmData *data : samples())
        m_model->appendRecord(data);
    QCOMPARE(m_model->rowCount(), expected.size());
    for (int row = 0; row < expected.size(); ++row) {
        const DmmData &reading = *expected.at(row);
        const std::unique_ptr<DmmData> actual(m_model->materialize(row));
        QVERIFY(actual);
        QCOMPARE(describe(*actual), describe(reading));
        const QStringList cells = {
            QString::number(row + 1), reading.timestamp().toString(kTimeFormat),
            reading.functionName(),   reading.rangeText(),
            reading.valueText(),      reading.unitText()};
        QCOMPARE(cellTexts(*m_model, row), cells);
        for (int column = 0; column < cells.size(); ++column)
            QCOMPARE(m_model->cellText(row, column), cells.at(column));
    }
    qDeleteAll(expected);
}

void TestDataModel::manyRowsSpanSeveralBlocks()
{
    const int count = 3 * 4096 + 17;
    append(count);
    QCOMPARE(m_model->rowCount(), count);
    for (const int row : {0, 4095, 4096, 8191, 8192, count - 1}) {
        QCOMPARE(m_model->data(m_model->index(row, 0)).toInt(), row + 1);
        QCOMPARE(m_model->cellText(row, DataModel::TimeColumn),
                 m_start.addSecs(row).toString(kTimeFormat));
        const auto &display = recordsamples::displays().at(row % recordsamples::displays().size());
        QCOMPARE(m_model->cellText(row, DataModel::ValueColumn), QString::fromLatin1(display.text));
    }
    QVERIFY(m_model->removeRows(4090, 4096 * 2));
    QCOMPARE(m_model->rowCount(), count - 4096 * 2);
    QCOMPARE(m_model->cellText(4090, DataModel::TimeColumn),
             m_start.addSecs(4090 + 4096 * 2).toString(kTimeFormat));
}

// The formatter's cached day must follow midnight, year ends, times before 1970 and the two days
// on which the clock moves.
void TestDataModel::timeTextMatchesLocalTime()
{
    const QDateTime summer(QDate(2024, 3, 31), QTime(0, 0));
    QCOMPARE(summer.secsTo(summer.addDays(1)), 23 * 3600); // the zone moves its clock
    TimestampFormatter formatter;
    const auto check = [&formatter](qint64 msecs) {
        QCOMPARE(formatter.text(msecs),
                 QDateTime::fromMSecsSinceEpoch(msecs).toString(kTimeFormat));
    };
    const qint64 midnight = QDateTime(QDate(2024, 5, 2), QTime(0, 0)).toMSecsSinceEpoch();
    for (qint64 msecs : {midnight - 1, midnight, midnight - 1, midnight + 999, midnight + 1000})
        check(msecs);
    // Every ten minutes for three days, now and then a step back by a day.
    for (const QDate &day :
         {QDate(2023, 12, 30), QDate(1969, 12, 30), QDate(2024, 3, 30), QDate(2024, 10, 26)}) {
        const qint64 begin = QDateTime(day, QTime(0, 0)).toMSecsSinceEpoch();
        for (qint64 msecs = begin, n = 0; msecs < begin + 3 * 86400000LL; msecs += 600007, ++n) {
            check(msecs);
            if (n % 50 == 0)
                check(msecs - 86400000);
        }
    }
}

QTEST_GUILESS_MAIN(TestDataModel)
#include "tst_datamodel.moc"
