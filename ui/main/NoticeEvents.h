#pragma once

#include "app/NoticeSender.h"
#include "model/store/iWMUserSender.h"

#include <QEvent>
#include <QObject>

#include <cstdint>

class DataTransfer;

// Carries the engine's notices to the UI thread: PostUserMessage (any thread) posts each as an event to
// the dialog, and on the UI thread this object, filtering the dialog's events, hands the notice to the
// channel (filters installed on the dialog later see the event first). Made on the UI thread, before any
// other thread can post.
class NoticeEvents : public QObject, public iWMUserSender, private iNoticePoster {
    Q_OBJECT
public:
    NoticeEvents(DataTransfer* transfer, QObject* dialog);

    // iWMUserSender, any thread: queues (code, argument) for DataTransfer::onUserMessage and returns at
    // once.
    bool PostUserMessage(uint32_t code, intptr_t argument) override {
        return sender_.PostUserMessage(code, argument);
    }

    // The event type that carries the code and the argument.
    static QEvent::Type eventType();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void postNotice(uint32_t code, intptr_t argument) override;

    QObject* dialog_;
    DataTransfer* transfer_;
    NoticeSender sender_{*this};
};
