// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/QtNotifyWindow.h"

#include <QCoreApplication>
#include <utility>

namespace zelbor {

QEvent::Type CommNotificationEvent::EventType()
{
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

CommNotificationEvent::CommNotificationEvent(CommNotification n) : QEvent(EventType()), notification(std::move(n)) {}

QtNotifyWindow::QtNotifyWindow(QObject* parent) : QObject(parent) {}

void QtNotifyWindow::SetReceiver(std::function<void(CommNotification)> receiver) { receiver_ = std::move(receiver); }

bool QtNotifyWindow::PostNotification(CommNotification notification)
{
    // Qt keeps posted events to one receiver in posting order and takes ownership of the event.
    QCoreApplication::postEvent(this, new CommNotificationEvent(std::move(notification)));
    return true;
}

bool QtNotifyWindow::event(QEvent* e)
{
    if (e->type() == CommNotificationEvent::EventType()) {
        auto* ce = static_cast<CommNotificationEvent*>(e);
        if (receiver_)
            receiver_(std::move(ce->notification));
        return true;
    }
    return QObject::event(e);
}

} // namespace zelbor
