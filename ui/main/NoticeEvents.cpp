#include "ui/main/NoticeEvents.h"

#include "model/store/DataTransfer.h"

#include <QCoreApplication>

namespace {

// One notification from the engine's side, carried to the UI thread.
class UserMessageEvent : public QEvent {
public:
    UserMessageEvent(uint32_t code, intptr_t argument)
        : QEvent(NoticeEvents::eventType()), code(code), argument(argument) {}
    const uint32_t code;
    const intptr_t argument;
};

} // namespace

QEvent::Type NoticeEvents::eventType() {
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

NoticeEvents::NoticeEvents(DataTransfer* transfer, QObject* dialog)
    : QObject(dialog), dialog_(dialog), transfer_(transfer) {
    eventType(); // registered here, before any other thread can post
    dialog->installEventFilter(this);
}

bool NoticeEvents::PostUserMessage(uint32_t code, intptr_t argument) {
    if (gate_.admit(code))
        QCoreApplication::postEvent(dialog_, new UserMessageEvent(code, argument));
    return true;
}

bool NoticeEvents::eventFilter(QObject* watched, QEvent* event) {
    if (watched == dialog_ && event->type() == eventType()) {
        const auto* message = static_cast<const UserMessageEvent*>(event);
        gate_.received(message->code);
        if (transfer_)
            transfer_->onUserMessage(message->code, message->argument);
        return true;
    }
    return QObject::eventFilter(watched, event);
}
