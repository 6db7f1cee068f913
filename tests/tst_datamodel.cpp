#include "record/datamodel.h"
#include "record/recordingreader.h"
#include "record/timestampformatter.h"
#include "recordsamples.h"

#include <QtTest>

#include <time.h>

class TestDataModel : public QObject
{
    Q_OBJECT
    recordsamples::RecordSetup m_setup;
    const QDateTime m_start{QDate(2024, 5, 1), QTime(23, 58, 0)};

private slots:
    void changesAreAnnouncedAndOutsideGivesNothing()
    {
        DataModel model(m_setup.columns);
        const auto append = [&](int count) {
            recordsamples::generateRecording(m_setup.defaultTable, count, m_start,
                                             [&](DmmData *data) { model.appendRecord(data); });
        };
        QStringList announced;
        connect(&model, &QAbstractItemModel::rowsInserted, [&](auto, int first, int last) {
            announced << QStringLiteral("insert %1-%2").arg(first).arg(last);
        });
        connect(&model, &QAbstractItemModel::rowsRemoved, [&](auto, int first, int last) {
            announced << QStringLiteral("remove %1-%2").arg(first).arg(last);
        });
        model.clearRecords(); // an empty table is cleared silently
        QCOMPARE(model.appendRecord(nullptr), 0);
        // Over several storage blocks: rows from one beyond the last cannot be removed, later rows
        // move up, the count is clipped.
        const int count = 3 * 4096 + 17;
        append(count);
        const QModelIndex stale = model.index(count - 1, 5);
        QVERIFY(!model.removeRows(count, 1));
        QVERIFY(model.removeRows(4090, 4096 * 2));
        QCOMPARE(model.data(model.index(4090, 0)), QVariant(4091));
        QCOMPARE(model.cellText(4090, DataModel::TimeColumn),
                 m_start.addSecs(4090 + 4096 * 2).toString(kTimestampLayout));
        QVERIFY(model.removeRows(5, count));
        append(1);
        QCOMPARE(model.cellText(5, DataModel::NumberColumn), QStringLiteral("6"));
        // Indexes and cells outside the rows give nothing.
        QVERIFY(!model.data(stale).isValid());
        QVERIFY(model.cellText(count - 1, 5).isEmpty() && model.cellText(0, 6).isEmpty());
        model.clearRecords();
        QCOMPARE(announced.mid(count - 1),
                 (QStringList{QStringLiteral("insert %1-%1").arg(count - 1), "remove 4090-12281",
                              "remove 5-4112", "insert 5-5", "remove 0-5"}));
    }

    // The compact rows show each reading's texts in the cells, exactly; also readings weeks
    // away from the others of their storage block, before and after the first row is removed
    // (which moves every row into a block that starts elsewhere), and their alarm marks, also
    // marked anew against limits.
    void readingsComeBackUnchanged()
    {
        DataModel model(m_setup.columns);
        const auto readings = [this] {
            QList<DmmData *> list =
                recordsamples::everyRowReadings(m_setup.defaultTable, m_setup.eTable, m_start);
            list.first()->setTimestamp(m_start.addDays(-20));
            for (int i = 4; i < list.size(); i += 5)
                list.at(i)->setTimestamp(m_start.addDays(i % 2 ? 40 : -40));
            return list;
        };
        QList<DmmData *> expected = readings();
        for (DmmData *data : readings())
            model.appendRecord(data, model.rowCount() % 3 == 1); // alarmed now and then
        QVERIFY(model.removeRows(0, 1));
        delete expected.takeFirst();
        QCOMPARE(model.rowCount(), expected.size());
        for (int row = 0; row < expected.size(); ++row) {
            const DmmData &reading = *expected.at(row);
            const QStringList cells = {
                QString::number(row + 1), reading.timestamp().toString(kTimestampLayout),
                reading.functionName(),   reading.rangeText(),
                reading.valueText(),      reading.unitText()};
            for (int column = 0; column < cells.size(); ++column)
                QCOMPARE(model.cellText(row, column), cells.at(column));
            QCOMPARE(model.readings().isAlarm(row), row % 3 == 0);
        }
        // Marked anew: an overload lies beyond its own side's limit, whatever its number.
        LimitAlarm limits;
        limits.setLimits(-1, 100);
        QSignalSpy marked(&model, &DataModel::alarmsMarked);
        model.markAlarms(limits);
        QVERIFY(marked.count() == 1 || marked.wait());
        for (int row = 0; row < expected.size(); ++row) {
            const DmmData &reading = *expected.at(row);
            QCOMPARE(model.readings().isAlarm(row),
                     limits.check(reading.value(), reading.overload()) != LimitAlarm::Side::Inside);
        }
        qDeleteAll(expected);
    }

    // The formatter's cached day must follow midnight, year ends, times before 1970 and the two
    // days on which the clock moves; a recording's reader, which keeps its day too, reads each
    // text back as an instant of that local time (either, in the hour the clock goes back).
    void timeTextMatchesLocalTime()
    {
        const QByteArray savedTz = qgetenv("TZ");
        qputenv("TZ", "Europe/Berlin");
        tzset();
        const QDateTime summer(QDate(2024, 3, 31), QTime(0, 0));
        QCOMPARE(summer.secsTo(summer.addDays(1)), 23 * 3600); // the zone moves its clock
        TimestampFormatter formatter;
        QByteArray recording = "No.,Date/Time,Function,Range,Value,Unit\n";
        QStringList texts;
        const auto check = [&](qint64 at) {
            const QString text = formatter.text(at);
            QCOMPARE(text, QDateTime::fromMSecsSinceEpoch(at).toString(kTimestampLayout));
            texts << text;
            recording +=
                QStringLiteral("%1,%2,DCV,60, 1.234 ,V\n").arg(texts.size()).arg(text).toLatin1();
        };
        // Around midnight, then every ten minutes for three days, now and then a day back.
        for (const QDate &day :
             {QDate(2023, 12, 30), QDate(1969, 12, 30), QDate(2024, 3, 30), QDate(2024, 10, 26)}) {
            const qint64 begin = QDateTime(day, QTime(0, 0)).toMSecsSinceEpoch();
            for (qint64 at : {begin - 1, begin, begin - 1, begin + 999, begin + 1000})
                check(at);
            for (qint64 at = begin, n = 0; at < begin + 3 * 86400000LL; at += 600007, ++n)
                check(n % 50 ? at : at - 86400000);
        }
        RecordingReader reader({&m_setup.defaultTable}, {englishRecordColumnTitles()});
        DataModel table(m_setup.columns);
        ReadingStore chart, second;
        QBuffer file(&recording);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(reader.read(file, recording.size(), {&table, &chart, &second}).outcome,
                 RecordingReader::Outcome::Read);
        for (int row = 0; row < texts.size(); ++row)
            QCOMPARE(QDateTime::fromMSecsSinceEpoch(table.readings().msecs(row))
                         .toString(kTimestampLayout),
                     texts.at(row));
        qputenv("TZ", savedTz);
        tzset();
    }
};

QTEST_GUILESS_MAIN(TestDataModel)
#include "tst_datamodel.moc"
