// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The serial component's notification path into Qt: worker threads post each notification as an
// event to this object, and the GUI thread hands it back to the component in posting order.
#include <QEvent>
#include <QObject>
#include <functional>

#include "serial/Comm.h"

namespace zelbor {

class CommNotificationEvent : public QEvent {
public:
    static QEvent::Type EventType();
    explicit CommNotificationEvent(CommNotification notification);
    CommNotification notification;
};

class QtNotifyWindow : public QObject, public NotifyWindow {
    Q_OBJECT
public:
    explicit QtNotifyWindow(QObject* parent = nullptr);
    // Called on the GUI thread for every notification (normally TComm::HandleNotification).
    void SetReceiver(std::function<void(CommNotification)> receiver);
    bool PostNotification(CommNotification notification) override; // any thread

protected:
    bool event(QEvent* e) override;

private:
    std::function<void(CommNotification)> receiver_;
};

} // namespace zelbor
