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

// The enabled ones of Connect, Disconnect, Start and Stop.
const QString kStartUp = QStringLiteral("connect start stop");
const QString kOpen = QStringLiteral("disconnect start");
const QString kClosed = QStringLiteral("connect");

// The meter's keys in the order of their action group, with their codes.
const std::pair<const char *, int> kKeys[] = {
    {"actionRangeManual", 0x46}, {"actionRangeAuto", 0x47}, {"actionRel", 0x48},
    {"actionHz", 0x49},          {"actionHold", 0x4A},      {"actionLight", 0x4B},
    {"actionSelect", 0x4C},      {"actionPeak", 0x4D},      {"actionExitPeak", 0x4E},
    {"actionMaxMin", 0x41},      {"actionExitMaxMin", 0x42}};

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

    void refusedConnectShowsBoxOncePerPress();
    void actionsFollowTheLink_data();
    void actionsFollowTheLink();
    void disconnectKeepsPanelAndTable();
    void connectAtStartActsAsAPress();

    void eachKeyQueuesItsCode_data();
    void eachKeyQueuesItsCode();
    void keyGroupHoldsTheElevenInOrder();
    void keysPressedWhileClosedAreDropped();

    void virtualMeterFillsPanelTableAndChart();
    void holdKeyShowsOnALaterReading();
    void selectKeyStartsANewRecording();

private:
    QString states() const;
    WindowRig &rig() { return *m_rig; }

    std::unique_ptr<WindowRig> m_rig;
    SeenBox m_seen;
    std::unique_ptr<QTimer> m_dismisser;
};

void TestConnection::initTestCase()
{
    registerResources();
}

void TestConnection::init()
{
    m_rig = std::make_unique<WindowRig>();
    m_seen = SeenBox();
    m_dismisser = dismissMessageBoxes(&m_seen);
}

void TestConnection::cleanup()
{
    m_dismisser.reset();
    m_rig.reset();
}

QString TestConnection::states() const
{
    QStringList enabled;
    for (const QString name : {"Connect", "Disconnect", "Start", "Stop"}) {
        if (m_rig->action(qPrintable("action" + name))->isEnabled())
            enabled << name.toLower();
    }
    return enabled.join(QLatin1Char(' '));
}

void TestConnection::refusedConnectShowsBoxOncePerPress()
{
    QCOMPARE(states(), kStartUp);
    rig().useFakeLinks(refusingLink());
    rig().window->show();

    rig().action("actionConnect")->trigger();
    QCOMPARE(m_seen.count, 1);
    QCOMPARE(m_seen.text, QStringLiteral("Failed to open device."));
    QVERIFY(m_seen.title.isEmpty());
    QCOMPARE(m_seen.icon, QMessageBox::Critical);
    QCOMPARE(m_seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(states(), kStartUp);
    rig().action("actionConnect")->trigger();
    QCOMPARE(m_seen.count, 2);
    QCOMPARE(states(), kStartUp);

    // From the closed state as well: the state stays as it was.
    rig().useFakeLinks(FakeScript());
    rig().action("actionConnect")->trigger();
    rig().action("actionDisconnect")->trigger();
    QCOMPARE(m_seen.count, 2);
    rig().useFakeLinks(refusingLink());
    rig().action("actionConnect")->trigger();
    QCOMPARE(m_seen.count, 3);
    QCOMPARE(states(), kClosed);
}

void TestConnection::actionsFollowTheLink_data()
{
    QTest::addColumn<bool>("reportsOpened");
    // Pairs of a step (an action's name, "drop" for a link that goes away by itself) and what
    // is enabled after it, with the driver's state.
    QTest::addColumn<QStringList>("steps");
    const QString open = QStringLiteral(", driver open");
    QTest::newRow("connect and disconnect")
        << true
        << QStringList{"Connect", kOpen + open, "Disconnect", kClosed, "Connect", kOpen + open};
    QTest::newRow("the link drops by itself")
        << true
        << QStringList{"Connect", kOpen + open, "Start", "disconnect stop" + open, "drop", kClosed};
    QTest::newRow("start and stop")
        << true << QStringList{"Connect",    kOpen + open, "Start",       "disconnect stop" + open,
                               "Stop",       kOpen + open, "Start",       "disconnect stop" + open,
                               "Disconnect", kClosed,      "Stop anyway", kClosed};
    // Without the link's opened signal nothing changes but the driver.
    QTest::newRow("waiting for the opened signal")
        << false << QStringList{"Connect", kStartUp + open};
}

void TestConnection::actionsFollowTheLink()
{
    QFETCH(bool, reportsOpened);
    QFETCH(QStringList, steps);
    FakeScript script;
    script.reportsOpened = reportsOpened;
    rig().useFakeLinks(script);
    for (int i = 0; i + 1 < steps.size(); i += 2) {
        if (steps.at(i) == QLatin1String("drop")) {
            rig().latestLink->dropBySelf();
        } else {
            QAction *action = rig().action(qPrintable("action" + steps.at(i).section(' ', 0, 0)));
            // Stop with the link closed leaves Start disabled: nothing could be recorded.
            if (steps.at(i).endsWith(QLatin1String("anyway")))
                action->setEnabled(true);
            action->trigger();
        }
        const QString after = states() + (rig().dmm()->isOpen() ? ", driver open" : "");
        QVERIFY2(after == steps.at(i + 1), qPrintable(steps.at(i) + " gives " + after));
    }
    QCOMPARE(m_seen.count, 0);
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
    rig().window->pressConnect();
    QCOMPARE(m_seen.count, 1);
    QCOMPARE(m_seen.text, QStringLiteral("Failed to open device."));

    rig().useFakeLinks(FakeScript());
    rig().window->pressConnect();
    QCOMPARE(states(), kOpen);
    QCOMPARE(m_seen.count, 1);
}

void TestConnection::eachKeyQueuesItsCode_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("code");
    for (const auto &[action, code] : kKeys)
        QTest::newRow(action) << QString::fromLatin1(action) << code;
}

void TestConnection::eachKeyQueuesItsCode()
{
    QFETCH(QString, action);
    QFETCH(int, code);
    QAction *key = rig().action(qPrintable(action));
    QCOMPARE(key->data().toInt(), code);
    // Each press queues a command of its own; keys stay usable whether the link is open or not.
    key->trigger();
    key->trigger();
    QVERIFY(key->isEnabled());
    const QList<CommandPtr> queued = rig().dmm()->oncePool()->commands();
    QCOMPARE(queued.size(), 2);
    for (const CommandPtr &command : queued) {
        QCOMPARE(command->frame(), MyDmm::buildFrame(QByteArray(1, char(code))));
        QVERIFY(command->needsReply());
    }
}

void TestConnection::keyGroupHoldsTheElevenInOrder()
{
    const QList<QActionGroup *> groups = rig().window->findChildren<QActionGroup *>();
    QCOMPARE(groups.size(), 1);
    QStringList names;
    QStringList expected;
    for (const QAction *action : groups.first()->actions()) {
        names << action->objectName();
        QVERIFY(!action->isCheckable());
    }
    for (const auto &key : kKeys)
        expected << QString::fromLatin1(key.first);
    QCOMPARE(names, expected);
    // The test actions are no keys.
    for (const char *name : {"actionTest1", "actionTest2"}) {
        QVERIFY(!rig().action(name)->data().isValid());
        rig().action(name)->trigger();
    }
    QVERIFY(rig().dmm()->oncePool()->isEmpty());
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
