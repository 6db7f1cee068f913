#include "meter/loopcommandpool.h"
#include "meter/mydmm.h"
#include "meter/oncecommandpool.h"

#include <QtTest>

namespace {

// A command carrying a number in two payload bytes.
CommandPtr numbered(int number)
{
    const char payload[] = {char(number >> 8), char(number & 0xFF)};
    return CommandPtr::create(MyDmm::buildFrame(QByteArray(payload, 2)), true);
}

int numberOf(const CommandPtr &command)
{
    return command ? quint8(command->frame().at(3)) << 8 | quint8(command->frame().at(4)) : -1;
}

// The numbers the pool hands out when asked count times (-1 for nothing).
QList<int> handedOut(CommandPool &pool, int count)
{
    QList<int> numbers;
    while (count-- > 0)
        numbers << numberOf(pool.next());
    return numbers;
}

} // namespace

class TestCommandPool : public QObject
{
    Q_OBJECT
private slots:
    void oncePoolRepeatsFirstUntilRemoved()
    {
        OnceCommandPool pool;
        QCOMPARE(handedOut(pool, 1), QList<int>{-1});
        MyDmm::enqueue(&pool, QByteArray::fromHex("0001"), false);
        MyDmm::enqueue(&pool, QByteArray::fromHex("0002"), true);
        MyDmm::enqueue(nullptr, QByteArray::fromHex("0003"), true); // no pool: nothing happens
        QCOMPARE(handedOut(pool, 2), (QList<int>{1, 1}));
        QVERIFY(!pool.current()->needsReply());
        pool.removeFirst();
        QCOMPARE(handedOut(pool, 1), QList<int>{2});
        QVERIFY(pool.current()->needsReply());
        // A command handed out before a clear is no longer there to remove; a newer one stays.
        const CommandPtr early = pool.next();
        pool.clear();
        pool.append(numbered(4));
        pool.remove(early);
        QCOMPARE(handedOut(pool, 1), QList<int>{4});
        pool.remove(pool.current());
        QVERIFY(pool.isEmpty());
    }

    void loopPoolGoesRound()
    {
        LoopCommandPool pool;
        QCOMPARE(handedOut(pool, 1), QList<int>{-1});
        pool.append(numbered(0));
        QCOMPARE(handedOut(pool, 2), (QList<int>{0, 0}));
        pool.append(numbered(1));
        pool.append(numbered(2));
        QCOMPARE(handedOut(pool, 5), (QList<int>{1, 2, 0, 1, 2}));
        pool.remove(pool.current()); // the last one: the round starts again
        QCOMPARE(handedOut(pool, 1), QList<int>{0});
    }
};

QTEST_APPLESS_MAIN(TestCommandPool)
#include "tst_commandpool.moc"
