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
    void oncePoolRepeatsFirstUntilRemoved();
    void removedCommandIsFreedOnceNobodyHoldsIt();
    void loopPoolGoesRound();
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

// The codes of what the pool hands out when asked count times ("-" for nothing), each with the
// loop pool's cursor after it.
template<typename Pool> QString handedOut(Pool &pool, int count)
{
    QStringList codes;
    for (int i = 0; i < count; ++i) {
        const CommandPtr next = pool.next();
        QString code = next ? QString::number(next->code(), 16) : QStringLiteral("-");
        if constexpr (std::is_same_v<Pool, LoopCommandPool>)
            code += QLatin1Char('@') + QString::number(pool.cursor());
        codes << code;
    }
    return codes.join(QLatin1Char(' '));
}

} // namespace

void TestCommandPool::oncePoolRepeatsFirstUntilRemoved()
{
    OnceCommandPool pool;
    QVERIFY(pool.current().isNull());
    QCOMPARE(handedOut(pool, 1), QStringLiteral("-"));
    pool.removeFirst(); // harmless on an empty pool
    const CommandPtr early = command(0x41);
    pool.append(command(0x4A));
    pool.append(command(0x46));
    QCOMPARE(handedOut(pool, 2), QStringLiteral("4a 4a"));
    QCOMPARE(pool.current()->code(), 0x4A);
    pool.removeFirst();
    QCOMPARE(handedOut(pool, 1), QStringLiteral("46"));
    pool.removeFirst();
    QCOMPARE(handedOut(pool, 1), QStringLiteral("-"));
    // A command handed out before a clear is no longer there to remove; a newer one stays.
    pool.append(early);
    pool.clear();
    pool.append(command(0x42));
    pool.remove(early);
    QCOMPARE(handedOut(pool, 1), QStringLiteral("42"));
    pool.remove(pool.current());
    QVERIFY(pool.isEmpty());
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

void TestCommandPool::loopPoolGoesRound()
{
    LoopCommandPool pool;
    QVERIFY(pool.current().isNull());
    QCOMPARE(pool.cursor(), -1);
    QCOMPARE(handedOut(pool, 1), QStringLiteral("-@-1"));
    const CommandPtr poll = command(0x5E);
    pool.append(poll);
    QVERIFY(pool.current().isNull()); // nothing handed out yet
    QCOMPARE(handedOut(pool, 3), QStringLiteral("5e@0 5e@0 5e@0"));
    pool.append(command(1));
    pool.append(command(2));
    QCOMPARE(handedOut(pool, 5), QStringLiteral("1@1 2@2 5e@0 1@1 2@2"));
    QCOMPARE(pool.current()->code(), 2);
    // The cursor now points past the end of the shortened list.
    pool.remove(pool.current());
    QVERIFY(pool.current().isNull());
    QCOMPARE(handedOut(pool, 1), QStringLiteral("5e@0"));
    // A clear starts the round again.
    pool.clear();
    QCOMPARE(pool.cursor(), -1);
    QVERIFY(pool.current().isNull());
    pool.append(command(7));
    pool.append(command(8));
    QCOMPARE(handedOut(pool, 2), QStringLiteral("7@0 8@1"));
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
