#pragma once

// Receives the heartbeat, about every 250 ms, on the heartbeat thread with the timer's lock held.
class iHeartBeatListener {
public:
    virtual void OnHeartBeat() = 0;
    virtual ~iHeartBeatListener() = default;
};
