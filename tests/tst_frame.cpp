#include "meter/command.h"
#include "meter/frame.h"
#include "meter/mydmm.h"

#include <QtTest>

class TestFrame : public QObject
{
    Q_OBJECT
private slots:
    void everyCommandFrameIsBuiltByteForByte()
    {
        const char *const frames[] = {"ABCD035E01D9", "ABCD034101BC", "ABCD034201BD",
                                      "ABCD034601C1", "ABCD034701C2", "ABCD034801C3",
                                      "ABCD034901C4", "ABCD034A01C5", "ABCD034B01C6",
                                      "ABCD034C01C7", "ABCD034D01C8", "ABCD034E01C9"};
        // The payload is the command code, byte 3 of each frame.
        for (const char *hex : frames) {
            const QByteArray frame = QByteArray::fromHex(hex);
            QCOMPARE(MyDmm::buildFrame(frame.mid(3, 1)), frame);
        }
        QCOMPARE(Command(MyDmm::buildFrame(QByteArray("\x4A\x01", 2)), true).code(), 0x4A);
        QCOMPARE(Command(MyDmm::buildFrame(QByteArray()), true).code(), -1);
    }

    void longPayloadWrapsLengthAndChecksum()
    {
        const QByteArray built = MyDmm::buildFrame(QByteArray(300, char(0xFF)));
        QCOMPARE(built.size(), 305);
        // 302 bytes follow the length byte: 302 - 256 = 46. The sum 0xAB + 0xCD + 46 + 300 * 255
        // = 76922 is 0x2C7A once 65536 is taken away.
        QCOMPARE(built.left(3).toHex(), QByteArray("abcd2e"));
        QCOMPARE(built.right(2).toHex(), QByteArray("2c7a"));
    }

    void extractCutsFrames_data()
    {
        const QByteArray poll = QByteArray::fromHex("ABCD035E01D9");
        const QByteArray hold = QByteArray::fromHex("ABCD034A01C5");
        QByteArray badSum = poll;
        badSum[5] = char(0xDA);
        QTest::addColumn<QByteArray>("buffer");
        QTest::addColumn<QList<QByteArray>>("frames");
        QTest::addColumn<int>("rest"); // bytes left that may still start a frame
        QTest::newRow("garbage, header bytes in it")
            << QByteArray::fromHex("01CDABABCDAB00") + poll << QList{poll} << 0;
        QTest::newRow("bad checksum") << badSum + hold << QList{hold} << 0;
        QTest::newRow("length below 3")
            << QByteArray::fromHex("ABCD02017A") + poll << QList{poll} << 0;
        QTest::newRow("half a frame") << poll + hold.left(4) << QList{poll} << 4;
        QTest::newRow("lone header byte") << poll + QByteArray(1, char(0xAB)) << QList{poll} << 1;
        QTest::newRow("false long header waits")
            << QByteArray::fromHex("ABCDFF01") + hold.left(3) << QList<QByteArray>{} << 7;
        QTest::newRow("false long header, frame behind")
            << QByteArray::fromHex("ABCDFF01") + hold << QList{hold} << 0;
    }

    void extractCutsFrames()
    {
        QFETCH(QByteArray, buffer);
        QList<QByteArray> found;
        int offset = 0;
        for (QByteArray next = frame::extract(buffer, offset); !next.isEmpty();
             next = frame::extract(buffer, offset))
            found.append(next);
        QTEST(found, "frames");
        QTEST(buffer.size() - offset, "rest");
    }
};

QTEST_APPLESS_MAIN(TestFrame)
#include "tst_frame.moc"
