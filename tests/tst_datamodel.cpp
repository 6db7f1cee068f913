#include "meter/dmmdata.h"
#include "meter/functionentry.h"
#include "record/datamodel.h"
#include "record/timestampformatter.h"
#include "recordsamples.h"

#include <QtTest>

#include <memory>

#include <time.h>

namespace {

const QString kTimeFormat = QStringLiteral("yyyy-MM-dd hh:mm:ss");

// Makes model indexes for any cell, as a stale index or one of another model could point anywhere.
class IndexMaker : public QAbstractTableModel
{
public:
    int rowCount(const QModelIndex &) const override { return 0; }
    int columnCount(const QModelIndex &) const override { return 0; }
    QVariant data(const QModelIndex &, int) const override { return QVariant(); }
    QModelIndex make(int row, int column) const { return createIndex(row, column); }
};

} // namespace

class TestDataModel : public QObject
{
    Q_OBJECT
    void append(int count)
    {
        recordsamples::generateRecording(m_setup.defaultTable, count, m_start,
                                         [this](DmmData *data) { m_model->appendRecord(data); });
    }

    recordsamples::RecordSetup m_setup;
    std::unique_ptr<DataModel> m_model;
    const QDateTime m_start{QDate(2024, 5, 1), QTime(23, 58, 0)};

private slots:
    void init() { m_model.reset(new DataModel(m_setup.columns)); }

    void changesAreAnnouncedAndOutsideGivesNothing()
    {
        QStringList announced;
        connect(m_model.get(), &QAbstractItemModel::rowsInserted, [&](auto, int first, int last) {
            announced << QStringLiteral("insert %1-%2").arg(first).arg(last);
        });
        connect(m_model.get(), &QAbstractItemModel::rowsRemoved, [&](auto, int first, int last) {
            announced << QStringLiteral("remove %1-%2").arg(first).arg(last);
        });
        m_model->clearRecords(); // an empty table is cleared silently
        QCOMPARE(m_model->appendRecord(nullptr), 0);
        // Over several storage blocks: rows from one beyond the last cannot be removed, later rows
        // move up, the count is clipped.
        const int count = 3 * 4096 + 17;
        append(count);
        QVERIFY(!m_model->removeRows(count, 1));
        QVERIFY(m_model->removeRows(4090, 4096 * 2));
        QCOMPARE(m_model->data(m_model->index(4090, 0)), QVariant(4091));
        QCOMPARE(m_model->cellText(4090, DataModel::TimeColumn),
                 m_start.addSecs(4090 + 4096 * 2).toString(kTimeFormat));
        QVERIFY(m_model->removeRows(5, count));
        append(1);
        QCOMPARE(m_model->cellText(5, DataModel::NumberColumn), QStringLiteral("6"));
        m_model->clearRecords();
        QCOMPARE(announced.mid(count),
                 (QStringList{"remove 4090-12281", "remove 5-4112", "insert 5-5", "remove 0-5"}));
        QCOMPARE(announced.at(count - 1), QStringLiteral("insert %1-%1").arg(count - 1));

        append(2);
        for (const QPoint &cell : {QPoint(2, 1), QPoint(0, 6), QPoint(100000, 0)}) {
            const QModelIndex outside = IndexMaker().make(cell.x(), cell.y());
            QVERIFY(!m_model->data(outside).isValid());
            QVERIFY(!m_model->data(outside, Qt::TextAlignmentRole).isValid());
            QVERIFY(m_model->cellText(cell.x(), cell.y()).isEmpty());
        }
        // Cells are centred and read only, rows have no header of their own.
        QCOMPARE(m_model->data(m_model->index(1, 5), Qt::TextAlignmentRole),
                 QVariant(int(Qt::AlignCenter)));
        QVERIFY(!m_model->data(m_model->index(1, 5), Qt::EditRole).isValid());
        QVERIFY(!m_model->headerData(0, Qt::Vertical).isValid());
    }

    void readingsComeBackUnchanged_data()
    {
        QTest::addColumn<bool>("unusual");
        QTest::newRow("every table row") << false;
        QTest::newRow("unusual texts, no time") << true;
    }

    // The compact rows show each reading's texts in the cells, exactly.

    void readingsComeBackUnchanged()
    {
        QFETCH(bool, unusual);
        const auto samples = [&] {
            QList<DmmData *> readings =
                recordsamples::everyRowReadings(m_setup.defaultTable, m_setup.eTable, m_start);
            if (unusual) {
                readings.at(4)->setTimestamp(QDateTime());
                // Texts no decoder of this meter makes: shorter and longer displays, characters
                // outside Latin-1, a NUL character, commas and quotes.
                readings.at(0)->setValueText("1.2");
                readings.at(1)->setValueText("12345.678");
                readings.at(1)->setFunctionName(QStringLiteral("RES, 4-wire"));
                readings.at(2)->setValueText(QString::fromUtf8("1,5\xCE\xA9 ok"));
                readings.at(2)->setUnitText(QString::fromUtf8("\"K\xCE\xA9\""));
                readings.at(3)->setValueText(QString::fromLatin1("1\0002.3 4", 7));
                readings.at(3)->setRangeText(QStringLiteral("auto"));
                readings.at(4)->setValueText(QString());
            }
            return readings;
        };
        const QList<DmmData *> expected = samples();
        for (DmmData *data : samples())
            m_model->appendRecord(data);
        QCOMPARE(m_model->rowCount(), expected.size());
        for (int row = 0; row < expected.size(); ++row) {
            const DmmData &reading = *expected.at(row);
            const QStringList cells = {
                QString::number(row + 1), reading.timestamp().toString(kTimeFormat),
                reading.functionName(),   reading.rangeText(),
                reading.valueText(),      reading.unitText()};
            for (int column = 0; column < cells.size(); ++column) {
                QCOMPARE(m_model->data(m_model->index(row, column)).toString(), cells.at(column));
                QCOMPARE(m_model->cellText(row, column), cells.at(column));
            }
        }
        qDeleteAll(expected);
    }

    // The formatter's cached day must follow midnight, year ends, times before 1970 and the two
    // days

    // on which the clock moves.

    void timeTextMatchesLocalTime()
    {
        const QByteArray savedTz = qgetenv("TZ");
        qputenv("TZ", "Europe/Berlin");
        tzset();
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
            for (qint64 msecs = begin, n = 0; msecs < begin + 3 * 86400000LL;
                 msecs += 600007, ++n) {
                check(msecs);
                if (n % 50 == 0)
                    check(msecs - 86400000);
            }
        }
        qputenv("TZ", savedTz);
        tzset();
    }
};

QTEST_GUILESS_MAIN(TestDataModel)
#include "tst_datamodel.moc"
