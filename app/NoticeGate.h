#pragma once

#include <atomic>
#include <cstdint>

// The one policy of the engine-to-UI notices, kept by whatever carries them to the UI thread: every
// record comes with a data notice, but one drain of the channel takes all the records written before it
// runs, so while a data notice waits to be handled the next ones are not posted. Status and
// device-record notices always go. admit runs on the engine's worker thread, received on the UI thread.
class NoticeGate {
public:
    // Whether the notice is to be posted now (false: a data notice waits already and will drain it).
    bool admit(uint32_t code);
    // A notice has reached the UI thread: a data notice clears the waiting mark before the drain, so a
    // record written after the drain has started posts again.
    void received(uint32_t code);

private:
    std::atomic<bool> dataNoticeWaiting_{false};
};
