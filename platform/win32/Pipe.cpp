#include "platform/Pipe.h"

#include "platform/win32/OverlappedReader.h"
#include "platform/win32/WinHandle.h"

#include <algorithm>
#include <atomic>
#include <string>

namespace {

constexpr DWORD kDefaultBufferBytes = 4096;
constexpr DWORD kDefaultTimeoutMs = 120000;

// A name nobody else uses: the process id and a counter.
std::string uniquePipeName() {
    static std::atomic<unsigned long> counter{0};
    return "\\\\.\\pipe\\astrelvo_" + std::to_string(::GetCurrentProcessId()) + "_" +
           std::to_string(counter.fetch_add(1));
}

} // namespace

// The server end reads (overlapped, through the reader); the client end writes synchronously.
struct Pipe::State {
    WinHandle server;
    WinHandle client;
    OverlappedReader reader;
};

Pipe::Pipe() : state_(std::make_unique<State>()) {}

Pipe::~Pipe() {
    close();
}

bool Pipe::create(std::size_t bufferSize, const char* name) {
    close();
    const std::string pipeName = name != nullptr && *name != '\0' ? std::string(name) : uniquePipeName();
    const DWORD size = bufferSize > 0 ? static_cast<DWORD>(bufferSize) : kDefaultBufferBytes;
    // Inbound only, one instance, and the first instance of the name: a pipe of that name that some
    // other program created first is not taken for ours. Remote clients are refused.
    HANDLE server = ::CreateNamedPipeA(
        pipeName.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, size, size,
        kDefaultTimeoutMs, nullptr);
    if (server == INVALID_HANDLE_VALUE)
        return false;
    state_->server.reset(server);
    // Opening the client end connects the pipe; the server end does not wait for a connection.
    HANDLE client = ::CreateFileA(pipeName.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    if (client == INVALID_HANDLE_VALUE) {
        state_->server.reset();
        return false;
    }
    state_->client.reset(client);
    state_->reader.attach(server);
    return true;
}

bool Pipe::valid() const {
    return state_->server.valid() && state_->client.valid();
}

bool Pipe::write(const void* data, std::size_t count) {
    if (!state_->client.valid())
        return false;
    const char* p = static_cast<const char*>(data);
    while (count > 0) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(count, 1u << 30));
        if (!::WriteFile(state_->client.get(), p, chunk, &written, nullptr))
            return false;
        p += written;
        count -= written;
    }
    return true;
}

long Pipe::read(void* data, std::size_t count) {
    if (!state_->server.valid())
        return -1;
    const IoResult got = state_->reader.readWait(data, count, nullptr, INFINITE);
    if (got.status == IoStatus::Data)
        return got.count;
    return got.status == IoStatus::Broken ? 0 : -1;
}

long Pipe::readAvailable(void* data, std::size_t count) {
    if (!state_->server.valid())
        return -1;
    const long ready = state_->reader.readNow(data, count);
    if (ready != 0 || state_->reader.pending())
        return ready; // a pending read takes the next bytes; they are handed out when it completes
    const std::size_t waiting = bytesAvailable();
    if (waiting == 0)
        return 0;
    const IoResult got = state_->reader.readWait(data, std::min(count, waiting), nullptr, 0);
    if (got.status == IoStatus::Data)
        return got.count;
    return got.status == IoStatus::Broken ? -1 : 0;
}

IoResult Pipe::readWait(void* data, std::size_t count, Event& stop, int timeoutMs) {
    if (!state_->server.valid() || !stop.valid())
        return {IoStatus::Broken, 0};
    return state_->reader.readWait(data, count, reinterpret_cast<HANDLE>(stop.nativeHandle()),
                                   timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
}

std::size_t Pipe::bytesAvailable() const {
    DWORD available = 0;
    if (!state_->server.valid() ||
        !::PeekNamedPipe(state_->server.get(), nullptr, 0, nullptr, &available, nullptr))
        return 0;
    return available;
}

std::size_t Pipe::capacity() const {
    DWORD inSize = 0;
    if (!state_->server.valid() ||
        !::GetNamedPipeInfo(state_->server.get(), nullptr, nullptr, &inSize, nullptr))
        return 0;
    return inSize;
}

void Pipe::close() {
    state_->reader.finish();
    state_->client.reset();
    state_->server.reset();
}
