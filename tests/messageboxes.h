#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <memory>

// What a message box showed before it was dismissed.
struct SeenBox
{
    int count = 0;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
};

// Answers every message box that opens with the given button (clicked, as a user would) until
// the returned timer is deleted. The box is found by polling, so the test never blocks on it.
inline std::unique_ptr<QTimer>
dismissMessageBoxes(SeenBox *seen, QMessageBox::StandardButton answer = QMessageBox::Ok)
{
    auto timer = std::make_unique<QTimer>();
    QObject::connect(timer.get(), &QTimer::timeout, [seen, answer] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        ++seen->count;
        seen->title = box->windowTitle();
        seen->text = box->text();
        seen->icon = box->icon();
        seen->buttons = box->standardButtons();
        if (QAbstractButton *button = box->button(answer))
            button->click();
        else
            box->done(answer);
    });
    timer->start(10);
    return timer;
}
