#pragma once

#include "platform/iSerialLine.h"

#include <memory>
#include <string>

// Opens the line that a port's path names: an in-process loopback line ("loopback:N", see
// LoopbackLine) or an OS serial device (SerialPort). Null on failure, with error set to the OS error
// number (kSerialErrorNotFound for an empty path); error is 0 on success.
std::unique_ptr<iSerialLine> openSerialLine(const std::string& path, int& error);
