#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>

// What the message boxes showed before the test dismissed them; title, text, icon and
// buttons are those of the latest one.
struct SeenBox
{
    int count = 0;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QStringList texts;
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
        seen->texts << box->text();
        if (QAbstractButton *button = box->button(answer))
            button->click();
        else
            box->done(answer);
    });
    timer->start(10);
    return timer;
}

// Hands the next modal dialog of type T that opens to handle, once; handle must end it.
// Message boxes the handling raises need their own dismisser, since a timer does not fire
// again while its own handler runs.
template<typename T> std::unique_ptr<QTimer> handleModalDialog(std::function<void(T *)> handle)
{
    auto timer = std::make_unique<QTimer>();
    QTimer *raw = timer.get();
    QObject::connect(raw, &QTimer::timeout, [raw, handle] {
        auto *dialog = qobject_cast<T *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        raw->stop();
        handle(dialog);
    });
    timer->start(10);
    return timer;
}
