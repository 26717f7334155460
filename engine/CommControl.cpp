#include "engine/CommControl.h"

#include "base/TextFormat.h"
#include "engine/EngineEvent.h"
#include "platform/Process.h"
#include "rz4/LittleEndian.h"

namespace {

constexpr char kPipeNamePrefix[] = "\\\\.\\Pipe\\velkaront_enc_monitor_";

constexpr uint8_t commandHeader(int payloadLength) {
    return eventHeader(EventCommand, payloadLength);
}

} // namespace

int CommControl::buildPipeName(char* buffer, int capacity, uint32_t processId) {
    int position = appendText(buffer, capacity, 0, kPipeNamePrefix);
    return appendHexReversed(buffer, capacity, position, processId);
}

CommControl::CommControl(iEngineReport* report) : session_(report, this) {
    buildPipeName(pipeName_, kPipeNameSize, currentProcessId());
    // The engine cannot work without its pipe and worker; their failures are not reported. Without
    // a pipe every write fails and the worker only waits for its stop event. On Windows the pipe is
    // the named pipe of that name; elsewhere the name only labels it.
    // A second engine in the same process (a program restarted in place, a test) finds the name
    // taken while the first one still exists; its pipe then gets a name of its own.
    if (!pipe_.create(kPipeCapacity, pipeName_))
        pipe_.create(kPipeCapacity);
    worker_.start([this]() { workerLoop(); });
}

CommControl::~CommControl() {
    shutdown();
}

void CommControl::shutdown() {
    if (shutDown_)
        return;
    shutDown_ = true;
    workerStopEvent_.set();
    worker_.join(-1);
    // The worker no longer empties the pipe, so a reader blocked on a full pipe is released by
    // draining it here until the reader has ended.
    transport_.signalReaderStop();
    while (!transport_.waitReaderEnd(50))
        drainPipe();
    transport_.closePort();
    std::lock_guard<std::mutex> guard(writeLock_);
    writesClosed_ = true;
}

void CommControl::drainPipe() {
    uint8_t scratch[256];
    while (pipe_.readAvailable(scratch, sizeof scratch) > 0) {
    }
}

int CommControl::lastOpenError() const {
    return transport_.lastOpenError();
}

void CommControl::setEventTap(EventTap tap, void* context) {
    eventTapContext_.store(context, std::memory_order_relaxed);
    eventTap_.store(tap, std::memory_order_release);
}

bool CommControl::setPortPath(uint32_t port, const char* path) {
    return transport_.setPortPath(port, path);
}

// ---- event pipe ----

void CommControl::writeEvent(const uint8_t* event, int length) {
    if (event == nullptr || length < 1 || length > kMaxEventBytes)
        return;
    std::lock_guard<std::mutex> guard(writeLock_);
    if (writesClosed_)
        return;
    // One write of at most 32 bytes: atomic on a pipe, and the lock keeps writers in turn.
    pipe_.write(event, static_cast<std::size_t>(length));
}

bool CommControl::roomForSerialData() const {
    const std::size_t capacity = pipe_.capacity();
    if (capacity == 0)
        return true; // the OS does not tell; fall back to blocking writes
    const std::size_t waiting = pipe_.bytesAvailable();
    return waiting + kCommandHeadroom + kMaxEventBytes <= capacity;
}

void CommControl::workerLoop() {
    uint8_t buffer[kWorkerReadSize];
    for (;;) {
        const IoResult got = pipe_.readWait(buffer, sizeof buffer, workerStopEvent_, kWorkerWaitMs);
        if (got.status == IoStatus::Stopped)
            return;
        if (got.status == IoStatus::Timeout)
            continue;
        if (got.status != IoStatus::Data || got.count <= 0) {
            // A failed read (the write end stays open, so this should not happen): rest on the stop
            // event rather than spin on the same failure.
            if (workerStopEvent_.wait(kWorkerWaitMs) == WaitResult::Object0)
                return;
            continue;
        }
        const long n = got.count;
        for (long i = 0; i < n; ++i)
            assembler_.assembleEventByte(buffer[i]);
    }
}

void CommControl::onAssembledEvent(void* context, const uint8_t* event, int length) {
    auto* self = static_cast<CommControl*>(context);
    EventTap tap = self->eventTap_.load(std::memory_order_acquire);
    if (tap != nullptr)
        tap(self->eventTapContext_.load(std::memory_order_relaxed), event, length);
    self->session_.onEngineEvent(event);
}

// ---- serial transport, for the session on the worker thread ----

bool CommControl::openPort(uint32_t port, uint8_t generation) {
    return transport_.openPort(port, generation);
}

void CommControl::closePort() {
    transport_.closePort();
}

bool CommControl::writePort(const uint8_t* bytes, int count) {
    return transport_.writePort(bytes, count);
}

void CommControl::pause(int milliseconds) {
    sleepMs(milliseconds);
}

// ---- tick and command senders (UI and heartbeat threads) ----

void CommControl::OnHeartBeat() {
    const uint8_t event[2] = {eventHeader(EventTick, 0), 0x00};
    writeEvent(event, 2);
}

void CommControl::Connect(uint32_t port) {
    const uint8_t event[3] = {commandHeader(2), CmdConnect, static_cast<uint8_t>(port)};
    writeEvent(event, 3);
}

void CommControl::Disconnect() {
    const uint8_t event[2] = {commandHeader(1), CmdDisconnect};
    writeEvent(event, 2);
}

void CommControl::StoreParameters() {
    const uint8_t event[2] = {commandHeader(1), CmdStoreParameters};
    writeEvent(event, 2);
}

void CommControl::StartLog(uint32_t mode, uint32_t rate) {
    const uint8_t event[4] = {commandHeader(3), CmdStartLog, static_cast<uint8_t>(mode),
                              static_cast<uint8_t>(rate)};
    writeEvent(event, 4);
}

void CommControl::StopLog() {
    const uint8_t event[2] = {commandHeader(1), CmdStopLog};
    writeEvent(event, 2);
}

void CommControl::FetchLog() {
    const uint8_t event[2] = {commandHeader(1), CmdFetchLog};
    writeEvent(event, 2);
}

void CommControl::SetEncoderCalibration(uint32_t reverse, uint32_t offset) {
    uint8_t event[7] = {commandHeader(6), CmdSetEncoderCalibration, static_cast<uint8_t>(reverse)};
    putLe32(event + 3, offset);
    writeEvent(event, 7);
}

void CommControl::Tracking(uint32_t on) {
    const uint8_t event[3] = {commandHeader(2), CmdTracking, static_cast<uint8_t>(on)};
    writeEvent(event, 3);
}

void CommControl::TrackingRate(uint32_t rate, uint32_t flag) {
    const uint8_t event[4] = {commandHeader(3), CmdTrackingRate, static_cast<uint8_t>(rate),
                              static_cast<uint8_t>(flag)};
    writeEvent(event, 4);
}

void CommControl::TrackingSpecial(uint32_t selector, uint32_t flag) {
    const uint8_t event[4] = {commandHeader(3), CmdTrackingSpecial, static_cast<uint8_t>(selector),
                              static_cast<uint8_t>(flag)};
    writeEvent(event, 4);
}

void CommControl::WriteParam16(uint32_t index, uint32_t value) {
    uint8_t event[5] = {commandHeader(4), CmdWriteParam16, static_cast<uint8_t>(index)};
    putLe16(event + 3, value);
    writeEvent(event, 5);
}

void CommControl::WriteParam8(uint32_t index, uint32_t value) {
    const uint8_t event[4] = {commandHeader(3), CmdWriteParam8, static_cast<uint8_t>(index),
                              static_cast<uint8_t>(value)};
    writeEvent(event, 4);
}

void CommControl::ClosedLoop(uint32_t value) {
    const uint8_t event[3] = {commandHeader(2), CmdClosedLoop, static_cast<uint8_t>(value)};
    writeEvent(event, 3);
}

void CommControl::SendPid(const uint16_t values[10]) {
    if (values == nullptr)
        return;
    uint8_t event[22] = {commandHeader(21), CmdSendPid};
    for (int i = 0; i < 10; ++i)
        putLe16(event + 2 + 2 * i, values[i]);
    writeEvent(event, 22);
}

void CommControl::SendAux(uint32_t auxMode, uint32_t auxReserved, uint32_t auxSkip, uint32_t auxSkip2,
                          uint32_t errorLimit, uint32_t accelLimit, uint32_t speedLimit, uint32_t errorLimit2,
                          uint32_t accelLimit2, uint32_t speedLimit2) {
    uint8_t event[32] = {commandHeader(31), CmdSendAux, static_cast<uint8_t>(auxMode),
                         static_cast<uint8_t>(auxReserved)};
    putLe16(event + 4, auxSkip);
    putLe16(event + 6, auxSkip2);
    const uint32_t limits[6] = {errorLimit, accelLimit, speedLimit, errorLimit2, accelLimit2, speedLimit2};
    for (int i = 0; i < 6; ++i)
        putLe32(event + 8 + 4 * i, limits[i]);
    writeEvent(event, 32);
}

void CommControl::Device40(uint32_t value) {
    const uint8_t event[3] = {commandHeader(2), CmdDevice40, static_cast<uint8_t>(value)};
    writeEvent(event, 3);
}

void CommControl::Device41() {
    const uint8_t event[2] = {commandHeader(1), CmdDevice41};
    writeEvent(event, 2);
}

void CommControl::Device42() {
    const uint8_t event[2] = {commandHeader(1), CmdDevice42};
    writeEvent(event, 2);
}

void CommControl::Device43() {
    const uint8_t event[2] = {commandHeader(1), CmdDevice43};
    writeEvent(event, 2);
}
