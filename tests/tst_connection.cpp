#include "app/commandline.h"
#include "app/resourcebundle.h"
#include "meter/command.h"
#include "meter/oncecommandpool.h"
#include "meter/simlink.h"
#include "meter/virtualmeter.h"
#include "record/chartline.h"
#include "record/dmmchart.h"
#include "tests/modalboxes.h"
#include "tests/replyframe.h"
#include "tests/windowrig.h"

#include <QActionGroup>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QtTest>

namespace {

// The enabled states of Connect, Disconnect, Start and Stop.
struct ActionStates
{
    bool connect;
    bool disconnect;
    bool start;
    bool stop;
    bool operator==(const ActionStates &other) const
    {
        return connect == other.connect && disconnect == other.disconnect && start == other.start &&
               stop == other.stop;
    }
};

const ActionStates kStartUp{true, false, true, true};
const ActionStates kOpen{false, true, true, false};
const ActionStates kClosed{true, false, false, false};

char *toString(const ActionStates &states)
{
    return QTest::toString(QStringLiteral("connect %1, disconnect %2, start %3, stop %4")
                               .arg(states.connect)
                               .arg(states.disconnect)
                               .arg(states.start)
                               .arg(states.stop));
}

FakeScript refusingLink()
{
    FakeScript script;
    script.openSucceeds = false;
    return script;
}

FakeScript answeringMeter()
{
    FakeScript script;
    script.pollReply = replyFrame(2, 0x31, " 1.234 ");
    return script;
}

// The key codes in the command frames a link was given, polls left out.
QList<int> keyCodesWritten(const FakeLink &link)
{
    QList<int> codes;
    for (const QByteArray &frame : link.written())
        if (frame != FakeLink::pollFrame())
            codes << quint8(frame.at(3));
    return codes;
}

int pollsWritten(const FakeLink &link)
{
    return link.written().count(FakeLink::pollFrame());
}

} // namespace

class TestConnection : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void startsInTheStartUpState();
    void refusedConnectShowsBoxOncePerPress();
    void connectAndDisconnectFollowTheDriver();
    void linkDroppingByItselfActsAsDisconnect();
    void statesWaitForTheOpenedSignal();
    void startAndStopFollowTheLink();
    void disconnectKeepsPanelAndTable();
    void connectAtStartActsAsAPress();
    void commandLineAsksForConnect_data();
    void commandLineAsksForConnect();

    void eachKeyQueuesItsCode_data();
    void eachKeyQueuesItsCode();
    void keyFrameCarriesTheCode();
    void twoPressesQueueTwoCommands();
    void testActionsQueueNothing();
    void keyGroupHoldsTheElevenInOrder();
    void keysPressedWhileClosedAreDropped();

    void virtualMeterFillsPanelTableAndChart();
    void holdKeyShowsOnALaterReading();
    void selectKeyStartsANewRecording();

private:
    ActionStates states() const;
    WindowRig &rig() { return *m_rig; }

    std::unique_ptr<WindowRig> m_rig;
};

void TestConnection::initTestCase()
{
    registerResources();
}

void TestConnection::init()
{
    m_rig = std::make_unique<WindowRig>();
}

void TestConnection::cleanup()
{
    m_rig.reset();
}

ActionStates TestConnection::states() const
{
    return {m_rig->action("actionConnect")->isEnabled(),
            m_rig->action("actionDisconnect")->isEnabled(),
            m_rig->action("actionStart")->isEnabled(), m_rig->action("actionStop")->isEnabled()};
}

void TestConnection::startsInTheStartUpState()
{
    QCOMPARE(states(), kStartUp);
}

void TestConnection::refusedConnectShowsBoxOncePerPress()
{
    rig().useFakeLinks(refusingLink());
    rig().window->show();
    SeenBox seen;
    const auto dismisser = dismissMessageBoxes(&seen);

    rig().action("actionConnect")->trigger();
    QCOMPARE(seen.count, 1);
    QCOMPARE(seen.text, QStringLiteral("Failed to open device."));
    QVERIFY(seen.title.isEmpty());
    QCOMPARE(seen.icon, QMessageBox::Critical);
    QCOMPARE(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(states(), kStartUp);
    rig().action("actionConnect")->trigger();
    QCOMPARE(seen.count, 2);
    QCOMPARE(states(), kStartUp);

    // From the closed state as well: the state stays as it was.
    rig().useFakeLinks(FakeScript());
    rig().action("actionConnect")->trigger();
    rig().action("actionDisconnect")->trigger();
    QCOMPARE(seen.count, 2);
    rig().useFakeLinks(refusingLink());
    rig().action("actionConnect")->trigger();
    QCOMPARE(seen.count, 3);
    QCOMPARE(states(), kClosed);
}

void TestConnection::connectAndDisconnectFollowTheDriver()
{
    rig().useFakeLinks(FakeScript());
    SeenBox seen;
    const auto dismisser = dismissMessageBoxes(&seen);
    rig().action("actionConnect")->trigger();
    QVERIFY(rig().dmm()->isOpen());
    QCOMPARE(states(), kOpen);

    rig().action("actionDisconnect")->trigger();
    QVERIFY(!rig().dmm()->isOpen());
    QVERIFY(!rig().latestLink->isOpen());
    QCOMPARE(states(), kClosed);

    rig().action("actionConnect")->trigger();
    QCOMPARE(states(), kOpen);
    QCOMPARE(seen.count, 0);
}

void TestConnection::linkDroppingByItselfActsAsDisconnect()
{
    rig().useFakeLinks(FakeScript());
    SeenBox seen;
    const auto dismisser = dismissMessageBoxes(&seen);
    rig().action("actionConnect")->trigger();
    rig().action("actionStart")->trigger();
    rig().latestLink->dropBySelf();
    QCOMPARE(states(), kClosed);
    QVERIFY(!rig().dmm()->isOpen());
    QCOMPARE(seen.count, 0);
}

void TestConnection::statesWaitForTheOpenedSignal()
{
    FakeScript silent;
    silent.reportsOpened = false;
    rig().useFakeLinks(silent);
    SeenBox seen;
    const auto dismisser = dismissMessageBoxes(&seen);
    rig().action("actionConnect")->trigger();
    QVERIFY(rig().dmm()->isOpen());
    QCOMPARE(states(), kStartUp);
    QCOMPARE(seen.count, 0);
}

void TestConnection::startAndStopFollowTheLink()
{
    rig().useFakeLinks(FakeScript());
    rig().action("actionConnect")->trigger();
    rig().action("actionStart")->trigger();
    QCOMPARE(states(), (ActionStates{false, true, false, true}));
    rig().action("actionStop")->trigger();
    QCOMPARE(states(), kOpen);
    rig().action("actionStart")->trigger();
    rig().action("actionDisconnect")->trigger();
    QCOMPARE(states(), kClosed);

    // Stop with the link closed leaves Start disabled: nothing could be recorded.
    rig().action("actionStop")->setEnabled(true);
    rig().action("actionStop")->trigger();
    QVERIFY(!rig().action("actionStart")->isEnabled());
}

void TestConnection::disconnectKeepsPanelAndTable()
{
    rig().pollQuickly();
    rig().useFakeLinks(answeringMeter());
    rig().action("actionConnect")->trigger();
    QAbstractItemModel *table = rig().child<QTableView>("tv")->model();
    QTRY_VERIFY(table->rowCount() >= 2);
    rig().action("actionDisconnect")->trigger();
    const int rows = table->rowCount();
    QCOMPARE(rig().child<QLineEdit>("lcdPrimary")->text(), QStringLiteral(" 1.234 "));
    QCOMPARE(rig().child<QLabel>("lcdLeftFlag1")->text(), QStringLiteral("DCV"));

    // A new connection goes on recording into the same table.
    rig().action("actionConnect")->trigger();
    QTRY_VERIFY(table->rowCount() > rows);
    QCOMPARE(table->index(0, 0).data().toInt(), 1);
}

void TestConnection::connectAtStartActsAsAPress()
{
    rig().useFakeLinks(refusingLink());
    rig().window->show();
    SeenBox seen;
    const auto dismisser = dismissMessageBoxes(&seen);
    rig().window->pressConnect();
    QCOMPARE(seen.count, 1);
    QCOMPARE(seen.text, QStringLiteral("Failed to open device."));

    rig().useFakeLinks(FakeScript());
    rig().window->pressConnect();
    QCOMPARE(states(), kOpen);
    QCOMPARE(seen.count, 1);
}

void TestConnection::commandLineAsksForConnect_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("connect");
    QTest::newRow("plain") << QStringList{"klm704"} << false;
    QTest::newRow("connect") << QStringList{"klm704", "--connect"} << true;
    QTest::newRow("with device") << QStringList{"klm704", "--device", "sim", "--connect"} << true;
}

void TestConnection::commandLineAsksForConnect()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, connect);
    CommandLine commandLine;
    QCOMPARE(commandLine.parse(arguments), CommandLine::Outcome::Run);
    QCOMPARE(commandLine.connectAtStart(), connect);
}

void TestConnection::eachKeyQueuesItsCode_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("code");
    QTest::newRow("range manual") << "actionRangeManual" << 0x46;
    QTest::newRow("range auto") << "actionRangeAuto" << 0x47;
    QTest::newRow("rel") << "actionRel" << 0x48;
    QTest::newRow("hz") << "actionHz" << 0x49;
    QTest::newRow("hold") << "actionHold" << 0x4A;
    QTest::newRow("light") << "actionLight" << 0x4B;
    QTest::newRow("select") << "actionSelect" << 0x4C;
    QTest::newRow("peak") << "actionPeak" << 0x4D;
    QTest::newRow("exit peak") << "actionExitPeak" << 0x4E;
    QTest::newRow("max/min") << "actionMaxMin" << 0x41;
    QTest::newRow("exit max/min") << "actionExitMaxMin" << 0x42;
}

void TestConnection::eachKeyQueuesItsCode()
{
    QFETCH(QString, action);
    QFETCH(int, code);
    QAction *key = rig().action(qPrintable(action));
    QCOMPARE(key->data().toInt(), code);
    key->trigger();
    const QList<CommandPtr> queued = rig().dmm()->oncePool()->commands();
    QCOMPARE(queued.size(), 1);
    QCOMPARE(queued.first()->code(), code);
    QCOMPARE(queued.first()->frame().size(), 6);
    QVERIFY(queued.first()->needsReply());
    // Keys stay usable whether the link is open or not.
    QVERIFY(key->isEnabled());
}

void TestConnection::keyFrameCarriesTheCode()
{
    rig().action("actionRel")->trigger();
    QCOMPARE(rig().dmm()->oncePool()->commands().first()->frame(),
             QByteArray::fromHex("ABCD034801C3"));
}

void TestConnection::twoPressesQueueTwoCommands()
{
    rig().action("actionHold")->trigger();
    rig().action("actionHold")->trigger();
    const QList<CommandPtr> queued = rig().dmm()->oncePool()->commands();
    QCOMPARE(queued.size(), 2);
    QCOMPARE(queued.at(0)->code(), 0x4A);
    QCOMPARE(queued.at(1)->code(), 0x4A);
}

void TestConnection::testActionsQueueNothing()
{
    for (const char *name : {"actionTest1", "actionTest2"}) {
        QAction *action = rig().action(name);
        QVERIFY(!action->data().isValid());
        QVERIFY(!action->actionGroup());
        action->trigger();
    }
    QVERIFY(rig().dmm()->oncePool()->isEmpty());
}

void TestConnection::keyGroupHoldsTheElevenInOrder()
{
    const QList<QActionGroup *> groups = rig().window->findChildren<QActionGroup *>();
    QCOMPARE(groups.size(), 1);
    QCOMPARE(groups.first()->parent(), rig().window.get());
    QStringList names;
    for (const QAction *action : groups.first()->actions()) {
        names << action->objectName();
        QVERIFY(!action->isCheckable());
    }
    QCOMPARE(names, (QStringList{"actionRangeManual", "actionRangeAuto", "actionRel", "actionHz",
                                 "actionHold", "actionLight", "actionSelect", "actionPeak",
                                 "actionExitPeak", "actionMaxMin", "actionExitMaxMin"}));
}

void TestConnection::keysPressedWhileClosedAreDropped()
{
    rig().pollQuickly();
    rig().useFakeLinks(answeringMeter());
    rig().action("actionHold")->trigger();
    rig().action("actionLight")->trigger();
    QCOMPARE(rig().dmm()->oncePool()->commands().size(), 2);

    rig().action("actionConnect")->trigger();
    QVERIFY(rig().latestLink);
    const FakeLink &link = *rig().latestLink;
    QTRY_VERIFY(pollsWritten(link) >= 3);
    QCOMPARE(keyCodesWritten(link), QList<int>());

    // A key pressed on the open link is sent, before the polls go on.
    rig().action("actionRel")->trigger();
    QTRY_COMPARE(keyCodesWritten(link), QList<int>{0x48});
    const int polls = pollsWritten(link);
    QTRY_VERIFY(pollsWritten(link) > polls);
    QCOMPARE(keyCodesWritten(link), QList<int>{0x48});
}

void TestConnection::virtualMeterFillsPanelTableAndChart()
{
    // The built-in virtual meter as the program offers it, at its own line speed.
    rig().window->deviceLink()->setDevice(QStringLiteral("sim"));
    rig().pollQuickly();
    rig().window->show();
    rig().action("actionConnect")->trigger();
    QCOMPARE(states(), kOpen);
    auto *link = qobject_cast<SimLink *>(rig().window->deviceLink()->link());
    QVERIFY(link);
    const VirtualMeter &meter = *link->meter();

    QAbstractItemModel *table = rig().child<QTableView>("tv")->model();
    QTRY_VERIFY_WITH_TIMEOUT(table->rowCount() >= 3, 10000);
    const QString shown = rig().child<QLineEdit>("lcdPrimary")->text();
    QStringList sent;
    for (const VirtualMeter::SentReply &reply : meter.sentReplies())
        sent << QString::fromLatin1(reply.text);
    QVERIFY2(sent.contains(shown), qPrintable(shown));
    const FunctionEntry *row = rig().row(meter.state().function());
    QCOMPARE(rig().child<QLabel>("lcdLeftFlag1")->text(), row->name());
    QVERIFY(rig().child<QLabel>("lcdUnit2")->text().endsWith(row->unit()));
    QCOMPARE(table->index(0, 0).data().toInt(), 1);
    QCOMPARE(table->index(0, 2).data().toString(), row->name());
    QVERIFY(sent.contains(table->index(0, 4).data().toString()));
    QTRY_VERIFY(rig().child<DMMChart>("chart")->line(0)->pointCount() >= 3);
}

void TestConnection::holdKeyShowsOnALaterReading()
{
    VirtualMeter meter(7);
    meter.setTimeScale(0);
    meter.state().setDrift(false);
    WindowRig rig;
    rig.pollQuickly();
    rig.useVirtualMeter(&meter);
    rig.action("actionConnect")->trigger();
    auto *hold = rig.child<QLabel>("lcdLeftFlag2");
    QTRY_COMPARE(rig.child<QLineEdit>("lcdPrimary")->text(),
                 QString::fromLatin1(meter.state().displayText()));
    QCOMPARE(hold->text(), QString());

    rig.action("actionHold")->trigger();
    QTRY_COMPARE(hold->text(), QStringLiteral("H"));
    QVERIFY(meter.state().isHold());
    rig.action("actionHold")->trigger();
    QTRY_COMPARE(hold->text(), QString());
}

void TestConnection::selectKeyStartsANewRecording()
{
    VirtualMeter meter(11);
    meter.setTimeScale(0);
    WindowRig rig;
    rig.pollQuickly();
    rig.useVirtualMeter(&meter);
    rig.action("actionConnect")->trigger();
    QAbstractItemModel *table = rig.child<QTableView>("tv")->model();
    QTRY_VERIFY(table->rowCount() >= 5);
    const QString before = rig.child<QLabel>("lcdLeftFlag1")->text();

    rig.action("actionSelect")->trigger();
    QTRY_VERIFY(rig.child<QLabel>("lcdLeftFlag1")->text() != before);
    rig.action("actionDisconnect")->trigger();
    const QString after = rig.child<QLabel>("lcdLeftFlag1")->text();
    QCOMPARE(after, rig.row(meter.state().function())->name());
    // Only readings of the new function are left, numbered from 1, and the chart holds them.
    QVERIFY(table->rowCount() >= 1);
    for (int row = 0; row < table->rowCount(); ++row) {
        QCOMPARE(table->index(row, 0).data().toInt(), row + 1);
        QCOMPARE(table->index(row, 2).data().toString(), after);
    }
    QCOMPARE(rig.child<DMMChart>("chart")->line(0)->pointCount(), table->rowCount());
}

QTEST_MAIN(TestConnection)
#include "tst_connection.moc"
