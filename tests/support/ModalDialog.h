#pragma once

#include <QApplication>
#include <QTimer>

#include <functional>

// Acts on the next dialog of type D once it runs modally (its exec() has started), from the event
// loop that exec() runs. Call before the action that opens it.
template <class D>
void onModalDialog(std::function<void(D *)> act)
{
    auto *timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (auto *dialog = qobject_cast<D *>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            act(dialog);
        }
    });
    timer->start();
}
