#pragma once

#include "app/NoticeGate.h"
#include "model/store/iWMUserSender.h"

#include <QEvent>
#include <QObject>

#include <cstdint>

class DataTransfer;

// The channel's sender in the program with a window, and the one way its notices take to the UI thread:
// PostUserMessage (engine worker thread) posts each notice the gate admits as an event to the dialog, and
// on the UI thread this object, filtering the dialog's events, hands it back to DataTransfer's
// onUserMessage (filters installed on the dialog later see the event first). Made on the UI thread,
// before any other thread can post; the dialog only carries the events.
class NoticeEvents : public QObject, public iWMUserSender {
    Q_OBJECT
public:
    NoticeEvents(DataTransfer* transfer, QObject* dialog);

    // Any thread: queues (code, argument) for DataTransfer::onUserMessage and returns at once.
    bool PostUserMessage(uint32_t code, intptr_t argument) override;

    // The event type that carries the code and the argument.
    static QEvent::Type eventType();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QObject* dialog_;
    DataTransfer* transfer_;
    NoticeGate gate_;
};
