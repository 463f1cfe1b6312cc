#pragma once

#include <QApplication>
#include <QTimer>

#include <functional>

// Acts on the next modal dialog of type T that opens: the command that opens
// it waits in the dialog's own event loop, so the test looks every 10 ms.
template <typename T>
void OnDialog(std::function<void(T *)> act)
{
    auto *poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        auto *dlg = qobject_cast<T *>(QApplication::activeModalWidget());
        if (!dlg)
            return;
        poll->stop();
        poll->deleteLater();
        act(dlg);
    });
    poll->start();
}
