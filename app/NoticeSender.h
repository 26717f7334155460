#pragma once

#include "model/store/iWMUserSender.h"

#include <atomic>
#include <cstdint>

// Where a notice goes to reach the UI thread: the dialog's event queue, or the windowless program's
// own queue. postNotice is called on the engine's worker thread and returns at once.
class iNoticePoster {
public:
    virtual void postNotice(uint32_t code, intptr_t argument) = 0;
    virtual ~iNoticePoster() = default;
};

// The engine-to-UI notices and their one policy: every record comes with a data notice, but one drain
// of the channel takes all the records written before it runs, so while a data notice waits to be
// handled the next ones are not posted. Status and device-record notices always go. PostUserMessage
// runs on the engine's worker thread; received on the UI thread, before the notice is handed to the
// channel.
class NoticeSender : public iWMUserSender {
public:
    explicit NoticeSender(iNoticePoster& poster) : poster_(poster) {}
    NoticeSender(const NoticeSender&) = delete;
    NoticeSender& operator=(const NoticeSender&) = delete;

    bool PostUserMessage(uint32_t code, intptr_t argument) override;
    // A notice has reached the UI thread: a data notice clears the waiting mark before the drain, so a
    // record written after the drain has started posts again.
    void received(uint32_t code);

private:
    iNoticePoster& poster_;
    std::atomic<bool> dataNoticeWaiting_{false};
};
