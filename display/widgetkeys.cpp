// The meter's keys on the window's command toolbar: each action carries its key code, and one
// action group passes every press on to the driver as a one-byte key command.

#include "app/widget.h"
#include "meter/meterkeys.h"
#include "meter/mydmm.h"
#include "ui_widget.h"

#include <QActionGroup>

namespace {

struct KeyAction
{
    QAction *Ui_Widget::*action;
    unsigned char code;
};

// In the order they join the group.
constexpr KeyAction kKeyActions[] = {
    {&Ui_Widget::actionRangeManual, meterkeys::kRangeManual},
    {&Ui_Widget::actionRangeAuto, meterkeys::kRangeAuto},
    {&Ui_Widget::actionRel, meterkeys::kRel},
    {&Ui_Widget::actionHz, meterkeys::kHz},
    {&Ui_Widget::actionHold, meterkeys::kHold},
    {&Ui_Widget::actionLight, meterkeys::kLight},
    {&Ui_Widget::actionSelect, meterkeys::kSelect},
    {&Ui_Widget::actionPeak, meterkeys::kPeak},
    {&Ui_Widget::actionExitPeak, meterkeys::kExitPeak},
    {&Ui_Widget::actionMaxMin, meterkeys::kMaxMin},
    {&Ui_Widget::actionExitMaxMin, meterkeys::kExitMaxMin},
};

} // namespace

void Widget::setUpKeyActions()
{
    auto *group = new QActionGroup(this);
    for (const KeyAction &key : kKeyActions) {
        QAction *action = ui->*key.action;
        action->setData(int(key.code));
        group->addAction(action);
    }
    connect(group, &QActionGroup::triggered, this, &Widget::slotActionGroupTriggered);
}

void Widget::slotActionGroupTriggered(QAction *action)
{
    // The window keeps no model of the meter's mode: every press sends the key again.
    dmm->sendKey(QByteArray(1, char(action->data().toInt())));
}
