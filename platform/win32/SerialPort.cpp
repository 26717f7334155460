#include "platform/SerialPort.h"

#include "platform/ComPortNames.h"
#include "platform/win32/OverlappedReader.h"
#include "platform/win32/SerialSetupError.h"
#include "platform/win32/Utf16.h"
#include "platform/win32/WinHandle.h"

#include <string>

const int kSerialErrorNotFound = ERROR_FILE_NOT_FOUND;
const int kSerialErrorBusy = ERROR_ACCESS_DENIED;
const int kSerialErrorNoThread = ERROR_NOT_ENOUGH_MEMORY;

namespace {

constexpr DWORD kBaudRate = 115200;
constexpr DWORD kQueueBytes = 8192;
// The software flow control characters and limits. Flow control stays off, but Windows refuses a
// record whose XON and XOFF characters are equal (as a driver may report them) or whose limits do
// not fit the input queue.
constexpr char kXon = 0x11;
constexpr char kXoff = 0x13;
constexpr WORD kXonLimit = 2048; // XON would go out once no more bytes than this wait
constexpr WORD kXoffLimit = 512; // XOFF would go out once fewer bytes than this are free

int lastErrorOr(DWORD fallback) {
    const DWORD error = ::GetLastError();
    return static_cast<int>(error != 0 ? error : fallback);
}

int setupFailure(SerialSetupCall call) {
    const DWORD error = ::GetLastError();
    return serialSetupError(call, error != 0 ? error : ERROR_GEN_FAILURE);
}

} // namespace

// The port, the reader of its overlapped reads, and the write completion event (auto-reset).
struct SerialPort::State {
    WinHandle port;
    OverlappedReader reader;
    WinHandle writeDone{::CreateEventA(nullptr, FALSE, FALSE, nullptr)};
};

SerialPort::SerialPort() : state_(std::make_unique<State>()) {}

SerialPort::~SerialPort() {
    close();
}

int SerialPort::open(const char* path) {
    close();
    if (path == nullptr || *path == '\0')
        return kSerialErrorNotFound;
    if (!state_->writeDone.valid())
        return kSerialErrorNoThread;
    const std::wstring device = toUtf16(comDevicePath(path));
    HANDLE port = ::CreateFileW(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
    if (port == INVALID_HANDLE_VALUE)
        return lastErrorOr(ERROR_FILE_NOT_FOUND);
    WinHandle handle(port);

    // Each set-up call's failure ends the open, naming the call: a port left at its old speed or with
    // XON/XOFF on would only show as a handshake that times out. The queues come first, so that the
    // flow control limits below are judged against them.
    if (!::SetupComm(port, kQueueBytes, kQueueBytes))
        return setupFailure(SerialSetupCall::SetupComm);

    // 115200 8N1, binary, with every field the link relies on set here rather than taken from the
    // port's previous user: a terminal program that left XON/XOFF on would otherwise swallow reply
    // bytes 0x11 and 0x13 (a 19-byte reply's length byte is 0x13). No parity check, no software or
    // hardware flow control, no DSR sensitivity, no error or null-byte replacement, no abort on error,
    // DTR and RTS on, distinct XON/XOFF characters and no end-of-file, error or event character.
    // Something that has no line settings is not a serial port.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(port, &dcb))
        return setupFailure(SerialSetupCall::GetCommState);
    dcb.BaudRate = kBaudRate;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fTXContinueOnXoff = TRUE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fAbortOnError = FALSE;
    dcb.XonChar = kXon;
    dcb.XoffChar = kXoff;
    dcb.XonLim = kXonLimit;
    dcb.XoffLim = kXoffLimit;
    dcb.ErrorChar = 0;
    dcb.EofChar = 0;
    dcb.EvtChar = 0;
    if (!::SetCommState(port, &dcb))
        return setupFailure(SerialSetupCall::SetCommState);

    // A read waits for its first byte without limit and completes once the line has been quiet for
    // 1 ms after a byte, or when its buffer is full. Writes have no time-out of their own.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = 1;
    if (!::SetCommTimeouts(port, &timeouts))
        return setupFailure(SerialSetupCall::SetCommTimeouts);
    // Nothing left over from an earlier user of the port.
    if (!::PurgeComm(port, PURGE_RXCLEAR | PURGE_TXCLEAR))
        return setupFailure(SerialSetupCall::PurgeComm);

    state_->port.reset(handle.release());
    state_->reader.attach(port);
    return 0;
}

void SerialPort::close() {
    if (!state_->port.valid())
        return;
    // Abort and clear both directions (this also ends the reader's pending read), then wait until
    // the OS is done with the read's buffer before the handle goes.
    ::PurgeComm(state_->port.get(), PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    state_->reader.finish();
    state_->port.reset();
}

bool SerialPort::isOpen() const {
    return state_->port.valid();
}

IoResult SerialPort::readWait(void* data, std::size_t count, Event& stop, int timeoutMs, bool) {
    if (!state_->port.valid() || !stop.valid())
        return {IoStatus::Broken, 0};
    // Writes never wait for room here (the port's queue takes them), so a wait for room has nothing
    // to wake for.
    return state_->reader.readWait(data, count, reinterpret_cast<HANDLE>(stop.nativeHandle()),
                                   timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
}

long SerialPort::writeSome(const void* data, std::size_t count, int timeoutMs) {
    if (!state_->port.valid())
        return -1;
    if (count == 0)
        return 0;
    HANDLE port = state_->port.get();
    OVERLAPPED overlapped{};
    overlapped.hEvent = state_->writeDone.get();
    ::ResetEvent(overlapped.hEvent);
    if (!::WriteFile(port, data, static_cast<DWORD>(count), nullptr, &overlapped) &&
        ::GetLastError() != ERROR_IO_PENDING)
        return -1;
    DWORD written = 0;
    const DWORD wait = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
    if (::WaitForSingleObject(overlapped.hEvent, wait) == WAIT_OBJECT_0)
        return ::GetOverlappedResult(port, &overlapped, &written, FALSE) ? static_cast<long>(written) : -1;
    // Not done in time: cancel the write and wait for its end, so that neither the record nor the
    // caller's bytes are in the OS's hands after the return. What went out before counts.
    ::CancelIoEx(port, &overlapped);
    ::GetOverlappedResult(port, &overlapped, &written, TRUE);
    return static_cast<long>(written);
}
