#include "meter/command.h"
#include "meter/frame.h"
#include "meter/mydmm.h"

#include <QtTest>

class TestFrame : public QObject
{
    Q_OBJECT
private slots:
    void everyCommandFrameIsBuiltByteForByte_data();
    void everyCommandFrameIsBuiltByteForByte();
    void longPayloadWrapsLengthAndChecksum();
    void commandCodeIsTheFirstPayloadByte();
    void extractCutsFrames_data();
    void extractCutsFrames();
    void incompleteFrameKeepsItsStart();
    void hexDumpIsUpperCasePairsWithTrailingSpaces();
};

void TestFrame::everyCommandFrameIsBuiltByteForByte_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("poll") << 0x5E << QByteArray::fromHex("ABCD035E01D9");
    QTest::newRow("max/min") << 0x41 << QByteArray::fromHex("ABCD034101BC");
    QTest::newRow("leave max/min") << 0x42 << QByteArray::fromHex("ABCD034201BD");
    QTest::newRow("manual range") << 0x46 << QByteArray::fromHex("ABCD034601C1");
    QTest::newRow("auto range") << 0x47 << QByteArray::fromHex("ABCD034701C2");
    QTest::newRow("relative") << 0x48 << QByteArray::fromHex("ABCD034801C3");
    QTest::newRow("Hz") << 0x49 << QByteArray::fromHex("ABCD034901C4");
    QTest::newRow("hold") << 0x4A << QByteArray::fromHex("ABCD034A01C5");
    QTest::newRow("backlight") << 0x4B << QByteArray::fromHex("ABCD034B01C6");
    QTest::newRow("select") << 0x4C << QByteArray::fromHex("ABCD034C01C7");
    QTest::newRow("peak") << 0x4D << QByteArray::fromHex("ABCD034D01C8");
    QTest::newRow("leave peak") << 0x4E << QByteArray::fromHex("ABCD034E01C9");
}

void TestFrame::everyCommandFrameIsBuiltByteForByte()
{
    QFETCH(int, code);
    QFETCH(QByteArray, frame);
    QCOMPARE(MyDmm::buildFrame(QByteArray(1, char(code))).toHex(), frame.toHex());
}

void TestFrame::longPayloadWrapsLengthAndChecksum()
{
    const QByteArray payload(300, char(0xFF));
    const QByteArray built = MyDmm::buildFrame(payload);
    QCOMPARE(built.size(), 305);
    // 302 bytes after the length byte do not fit: 302 - 256 = 46.
    QCOMPARE(quint8(built.at(2)), quint8(46));
    // 0xAB + 0xCD + 46 + 300 * 255 = 76922, which is 0x2C7A once 65536 is taken away.
    QCOMPARE(quint8(built.at(303)), quint8(0x2C));
    QCOMPARE(quint8(built.at(304)), quint8(0x7A));
    QCOMPARE(built.mid(3, 300), payload);
}

void TestFrame::commandCodeIsTheFirstPayloadByte()
{
    QCOMPARE(Command(MyDmm::buildFrame(QByteArray("\x4A\x01", 2)), true).code(), 0x4A);
    QCOMPARE(Command(MyDmm::buildFrame(QByteArray()), true).code(), -1);
    QCOMPARE(Command(QByteArray(), false).code(), -1);
    QVERIFY(!Command(QByteArray(), false).needsReply());
}

void TestFrame::extractCutsFrames_data()
{
    const QByteArray poll = QByteArray::fromHex("ABCD035E01D9");
    const QByteArray hold = QByteArray::fromHex("ABCD034A01C5");
    QByteArray badSum = poll;
    badSum[5] = char(0xDA);
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<QList<QByteArray>>("frames");
    QTest::addColumn<int>("rest"); // bytes left that may still start a frame

    QTest::newRow("one frame") << poll << QList<QByteArray>{poll} << 0;
    QTest::newRow("two frames") << poll + hold << QList<QByteArray>{poll, hold} << 0;
    QTest::newRow("garbage first")
        << QByteArray("\x01\x02\xCD", 3) + poll << QList<QByteArray>{poll} << 0;
    QTest::newRow("garbage with header bytes")
        << QByteArray::fromHex("ABABCDAB00") + hold << QList<QByteArray>{hold} << 0;
    QTest::newRow("bad checksum then frame") << badSum + hold << QList<QByteArray>{hold} << 0;
    QTest::newRow("length below 3")
        << QByteArray::fromHex("ABCD02AB") + poll << QList<QByteArray>{poll} << 0;
    QTest::newRow("only garbage") << QByteArray("xyz") << QList<QByteArray>{} << 0;
    QTest::newRow("frame then half a frame") << poll + hold.left(4) << QList<QByteArray>{poll} << 4;
    QTest::newRow("lone header byte at the end")
        << poll + QByteArray(1, char(0xAB)) << QList<QByteArray>{poll} << 1;
    QTest::newRow("false long header waits")
        << QByteArray::fromHex("ABCDFF01") + hold.left(3) << QList<QByteArray>{} << 7;
    QTest::newRow("false long header, whole frame behind")
        << QByteArray::fromHex("ABCDFF01") + hold << QList<QByteArray>{hold} << 0;
    QTest::newRow("empty") << QByteArray() << QList<QByteArray>{} << 0;
}

void TestFrame::extractCutsFrames()
{
    QFETCH(QByteArray, buffer);
    QFETCH(QList<QByteArray>, frames);
    QFETCH(int, rest);
    QList<QByteArray> found;
    int offset = 0;
    for (QByteArray next = frame::extract(buffer, offset); !next.isEmpty();
         next = frame::extract(buffer, offset))
        found.append(next);
    QCOMPARE(found, frames);
    QCOMPARE(buffer.size() - offset, rest);
}

void TestFrame::incompleteFrameKeepsItsStart()
{
    const QByteArray hold = QByteArray::fromHex("ABCD034A01C5");
    for (int cut = 1; cut < hold.size(); ++cut) {
        QByteArray buffer = QByteArray("junk") + hold.left(cut);
        int offset = 0;
        QVERIFY(frame::extract(buffer, offset).isEmpty());
        QCOMPARE(offset, 4);
        buffer = buffer.mid(offset) + hold.mid(cut);
        offset = 0;
        QCOMPARE(frame::extract(buffer, offset), hold);
        QCOMPARE(offset, hold.size());
    }
}

void TestFrame::hexDumpIsUpperCasePairsWithTrailingSpaces()
{
    QCOMPARE(frame::hexDump(QByteArray::fromHex("ABCD035E01D9")),
             QStringLiteral("AB CD 03 5E 01 D9 "));
    QCOMPARE(frame::hexDump(QByteArray(1, '\0')), QStringLiteral("00 "));
    QVERIFY(frame::hexDump(QByteArray()).isEmpty());
}

QTEST_APPLESS_MAIN(TestFrame)
#include "tst_frame.moc"
