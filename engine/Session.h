#pragma once

#include "engine/CommandExecutor.h"
#include "engine/FrameParser.h"
#include "engine/SessionFields.h"
#include "engine/Simulator.h"
#include "engine/iFrameHandler.h"

#include <cstdint>

class iEngineReport;
class iSessionHost;

// The engine's session logic: the event dispatcher, the connection handshake that reads the
// controller's parameters, the logging cycle that polls for data blocks and cuts them into records,
// the command executor and the test-mode simulator. Lives inside CommControl; every member is owned
// by the engine worker thread.
class Session : private iFrameHandler {
public:
    // Step results of onTick and onFrame.
    static constexpr int kStepNone = 0;
    static constexpr int kStepHandshakeDone = 1;
    static constexpr int kStepClose = 2;

    static constexpr int32_t kReplyTimeoutTicks = 50;
    static constexpr int32_t kBlockDelayTicks = 2;
    static constexpr int kSettleMilliseconds = 500;

    Session(iEngineReport* report, iSessionHost* host);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Called once per complete engine event: header byte at event[0], payload from event[1].
    void onEngineEvent(const uint8_t* event);

    // The state machine's entries, public for tests; in the program the dispatcher calls them.
    void startHandshake();
    int onTick();
    int onFrame(const uint8_t* frame, int length) override;
    void onFrameDropped() override;

    const SessionFields& fields() const { return fields_; }
    const Simulator& simulator() const { return simulator_; }

private:
    void onSerialData(const uint8_t* bytes, int count);
    void onSerialFault(const uint8_t* event);
    void onCommand(const uint8_t* event);
    void connect(uint8_t port);
    void disconnect();
    void enterTestMode();
    void closeSession();
    void actOnStep(int result);

    int onShortFrame(const uint8_t* frame, int length);
    int onBlockFrame(const uint8_t* frame, int length);
    int completeHandshake();
    int identityFailure();
    void sendQuery(uint8_t code);
    void awaitNextBlock();

    iEngineReport* report_;
    iSessionHost* host_;
    SessionFields fields_;
    Simulator simulator_;
    CommandExecutor executor_;
    FrameParser parser_;
    // Within one serial chunk: whether any frame asked to close the session or completed the handshake
    // (the parser itself returns only the last frame's result).
    bool chunkClose_ = false;
    bool chunkDone_ = false;
};
