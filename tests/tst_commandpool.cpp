#include "meter/loopcommandpool.h"
#include "meter/mydmm.h"
#include "meter/oncecommandpool.h"

#include <QThread>
#include <QtTest>
#include <atomic>
#include <memory>

class TestCommandPool : public QObject
{
    Q_OBJECT
private slots:
    void emptyPoolsHandOutNothing();
    void oncePoolRepeatsFirstUntilRemoved();
    void removedCommandIsFreedOnceNobodyHoldsIt();
    void removeTakesOnlyThatCommand();
    void loopPoolWithOneCommandStaysAtIt();
    void loopPoolGoesRound();
    void loopCurrentFollowsCursor();
    void clearRestartsTheRound();
    void enqueueBuildsAndAppends();
    void keysAppendedByAnotherThreadAreAllHandedOutInOrder();
    void loopPoolSurvivesChangesFromAnotherThread();
};

namespace {

CommandPtr command(int code)
{
    return CommandPtr::create(MyDmm::buildFrame(QByteArray(1, char(code))), true);
}

// A command that carries a running number in two payload bytes.
CommandPtr numbered(int number)
{
    QByteArray payload;
    payload.append(char(number >> 8)).append(char(number & 0xFF));
    return CommandPtr::create(MyDmm::buildFrame(payload), true);
}

int numberOf(const CommandPtr &command)
{
    const QByteArray &frame = command->frame();
    return quint8(frame.at(3)) << 8 | quint8(frame.at(4));
}

} // namespace

void TestCommandPool::emptyPoolsHandOutNothing()
{
    OnceCommandPool once;
    LoopCommandPool loop;
    QVERIFY(once.next().isNull());
    QVERIFY(once.current().isNull());
    QVERIFY(loop.next().isNull());
    QVERIFY(loop.current().isNull());
    QCOMPARE(loop.cursor(), -1);
    once.removeFirst(); // harmless on an empty pool
    QVERIFY(once.isEmpty());
}

void TestCommandPool::oncePoolRepeatsFirstUntilRemoved()
{
    OnceCommandPool pool;
    const CommandPtr first = command(0x4A);
    const CommandPtr second = command(0x46);
    pool.append(first);
    pool.append(second);
    QCOMPARE(pool.next(), first);
    QCOMPARE(pool.next(), first);
    QCOMPARE(pool.current(), first);
    pool.removeFirst();
    QCOMPARE(pool.next(), second);
    pool.removeFirst();
    QVERIFY(pool.next().isNull());
}

void TestCommandPool::removedCommandIsFreedOnceNobodyHoldsIt()
{
    OnceCommandPool pool;
    pool.append(command(0x4A));
    QWeakPointer<Command> watched = pool.next();
    CommandPtr handedOut = pool.next();
    pool.removeFirst();
    // Whoever was handed the command can still read it...
    QVERIFY(!watched.isNull());
    QCOMPARE(handedOut->code(), 0x4A);
    // ...and it is gone once the last holder lets go.
    handedOut.reset();
    QVERIFY(watched.isNull());

    pool.append(command(0x41));
    watched = pool.next();
    pool.clear();
    QVERIFY(watched.isNull());
}

void TestCommandPool::removeTakesOnlyThatCommand()
{
    OnceCommandPool pool;
    const CommandPtr early = command(0x41);
    const CommandPtr late = command(0x42);
    pool.append(early);
    pool.clear();
    pool.append(late);
    // The command handed out before the clear is no longer there; the newer one stays.
    pool.remove(early);
    QCOMPARE(pool.next(), late);
    pool.remove(late);
    QVERIFY(pool.isEmpty());
}

void TestCommandPool::loopPoolWithOneCommandStaysAtIt()
{
    LoopCommandPool pool;
    const CommandPtr poll = command(0x5E);
    pool.append(poll);
    for (int i = 0; i < 5; ++i) {
        QCOMPARE(pool.next(), poll);
        QCOMPARE(pool.cursor(), 0);
    }
}

void TestCommandPool::loopPoolGoesRound()
{
    LoopCommandPool pool;
    const QList<CommandPtr> commands = {command(1), command(2), command(3)};
    for (const CommandPtr &c : commands)
        pool.append(c);
    for (int i = 0; i < 7; ++i) {
        QCOMPARE(pool.next(), commands.at(i % 3));
        QCOMPARE(pool.cursor(), i % 3);
    }
}

void TestCommandPool::loopCurrentFollowsCursor()
{
    LoopCommandPool pool;
    const CommandPtr a = command(1);
    const CommandPtr b = command(2);
    pool.append(a);
    pool.append(b);
    QVERIFY(pool.current().isNull()); // nothing handed out yet
    pool.next();
    pool.next();
    QCOMPARE(pool.current(), b);
    // The cursor now points past the end of the shortened list.
    pool.remove(b);
    QVERIFY(pool.current().isNull());
    QCOMPARE(pool.next(), a);
}

void TestCommandPool::clearRestartsTheRound()
{
    LoopCommandPool pool;
    pool.append(command(1));
    pool.append(command(2));
    pool.next();
    pool.next();
    pool.clear();
    QCOMPARE(pool.cursor(), -1);
    QVERIFY(pool.current().isNull());
    const CommandPtr x = command(7);
    const CommandPtr y = command(8);
    pool.append(x);
    pool.append(y);
    QCOMPARE(pool.next(), x);
    QCOMPARE(pool.next(), y);
}

void TestCommandPool::enqueueBuildsAndAppends()
{
    OnceCommandPool pool;
    MyDmm::enqueue(&pool, QByteArray(1, 0x4A), true);
    MyDmm::enqueue(&pool, QByteArray(1, 0x4B), false);
    MyDmm::enqueue(nullptr, QByteArray(1, 0x4C), true); // nothing happens
    const QList<CommandPtr> commands = pool.commands();
    QCOMPARE(commands.size(), 2);
    QCOMPARE(commands.at(0)->frame(), QByteArray::fromHex("ABCD034A01C5"));
    QVERIFY(commands.at(0)->needsReply());
    QCOMPARE(commands.at(1)->frame(), QByteArray::fromHex("ABCD034B01C6"));
    QVERIFY(!commands.at(1)->needsReply());
}

void TestCommandPool::keysAppendedByAnotherThreadAreAllHandedOutInOrder()
{
    constexpr int kCount = 20000;
    OnceCommandPool pool;
    std::unique_ptr<QThread> producer(QThread::create([&pool] {
        for (int i = 0; i < kCount; ++i)
            pool.append(numbered(i));
    }));
    producer->start();
    // This thread plays the worker: hand out the first command, then remove it.
    QList<int> handedOut;
    handedOut.reserve(kCount);
    while (handedOut.size() < kCount) {
        const CommandPtr next = pool.next();
        if (!next) {
            QVERIFY(!producer->isFinished() || !pool.isEmpty());
            continue;
        }
        handedOut.append(numberOf(next));
        if (handedOut.size() % 2)
            pool.removeFirst();
        else
            pool.remove(next);
    }
    QVERIFY(producer->wait(10000));
    QVERIFY(pool.isEmpty());
    for (int i = 0; i < kCount; ++i)
        QCOMPARE(handedOut.at(i), i);
}

void TestCommandPool::loopPoolSurvivesChangesFromAnotherThread()
{
    constexpr int kRounds = 20000;
    LoopCommandPool pool;
    pool.append(numbered(0));
    std::atomic_bool done{false};
    // The other thread keeps the pool one to three commands long.
    std::unique_ptr<QThread> changer(QThread::create([&pool, &done] {
        for (int i = 1; i <= kRounds; ++i) {
            pool.append(numbered(i));
            if (pool.commands().size() > 2)
                pool.removeFirst();
        }
        done = true;
    }));
    changer->start();
    int handedOut = 0;
    while (!done) {
        const CommandPtr next = pool.next();
        QVERIFY(next);
        QVERIFY(numberOf(next) <= kRounds);
        const int cursor = pool.cursor();
        QVERIFY(cursor >= 0 && cursor < 3);
        ++handedOut;
    }
    QVERIFY(changer->wait(10000));
    QVERIFY(handedOut > 0);
    QCOMPARE(pool.commands().size(), 2);
    QCOMPARE(numberOf(pool.commands().last()), kRounds);
}

QTEST_APPLESS_MAIN(TestCommandPool)
#include "tst_commandpool.moc"
