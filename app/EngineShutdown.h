#pragma once

class CommControl;
class DataTransfer;

// Stops the engine's threads (CommControl::shutdown) while the calling thread, the one that reads the
// record channel, keeps draining it: a worker blocked on a full channel pipe could otherwise never see
// its stop request, and the wait for it would never end. Drained records still reach the store.
// Called on the UI thread at shutdown, after the heartbeat has stopped.
void stopEngineWhileDraining(CommControl& engine, DataTransfer& transfer);
