#pragma once

#include <windows.h>

// A failed set-up call of an opened port, as one error number: Win32's application-defined bit (29,
// which no system error has) marks it, bits 16 to 23 name the call, the low 16 bits hold Windows' own
// error (every system error code fits). CreateFile's errors stay plain. Used by SerialPort::open and
// serialOpenErrorText.
enum class SerialSetupCall { SetupComm = 1, GetCommState, SetCommState, SetCommTimeouts, PurgeComm };

constexpr int kSerialSetupErrorBit = 1 << 29;

inline int serialSetupError(SerialSetupCall call, DWORD error) {
    return kSerialSetupErrorBit | (static_cast<int>(call) << 16) | static_cast<int>(error & 0xFFFF);
}

// The call that a set-up error names, or null for any other error; windowsError gets Windows' error.
inline const char* serialSetupCallName(int error, DWORD& windowsError) {
    windowsError = static_cast<DWORD>(error);
    if ((error & ~0x00FFFFFF) != kSerialSetupErrorBit)
        return nullptr;
    windowsError = static_cast<DWORD>(error & 0xFFFF);
    switch (static_cast<SerialSetupCall>((error >> 16) & 0xFF)) {
    case SerialSetupCall::SetupComm:
        return "SetupComm";
    case SerialSetupCall::GetCommState:
        return "GetCommState";
    case SerialSetupCall::SetCommState:
        return "SetCommState";
    case SerialSetupCall::SetCommTimeouts:
        return "SetCommTimeouts";
    case SerialSetupCall::PurgeComm:
        return "PurgeComm";
    }
    return "a port set-up call";
}
