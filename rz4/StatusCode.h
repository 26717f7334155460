#pragma once

#include <cstdint>

// Status codes shown in the main dialog's status line.
enum StatusCode : uint32_t {
    StatusNotConnected = 0,
    StatusOpeningPort = 1,
    StatusConnecting = 2,
    StatusConnected = 3,
    StatusConnectionClosed = 4,
    StatusTestMode = 5,
    StatusCannotOpenPort = 6,
    StatusTimeout = 7,
    StatusUnknownDevice = 8,
    StatusNotSupportedDevice = 9,
    StatusCommunicationError = 10,
    StatusAlreadyConnected = 11,
    StatusNotConnectedYet = 12,
    StatusReady = 13,
    StatusParametersStored = 14,
    // A command of a kind that already waited for the next data block replaced the waiting one.
    StatusReplacedClosedLoop = 15,
    StatusReplacedPid = 16,
    StatusReplacedAux = 17,
    StatusReplacedMotorCurrent = 18,
    StatusReplacedParameter = 19,
    StatusReplacedTracking = 20,
    StatusReplacedCalibration = 21,
    StatusReplacedStore = 22,
    StatusReplacedCommand40 = 23,
    // Disconnect while changes still waited for the next data block: they were not sent.
    StatusClosedChangesNotSent = 24,
};

constexpr uint32_t kStatusCodeCount = 25;

// The text of a status code (UTF-8), or nullptr for codes from kStatusCodeCount on.
const char* statusText(uint32_t code);

// Notification codes posted from the engine's side to the main dialog.
enum NotifyCode : uint32_t {
    NotifyStatus = 10,
    NotifyDeviceInfo = 11,
    NotifyData = 12,
};
