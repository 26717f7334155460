#include "platform/SerialLines.h"

#include "platform/LoopbackLine.h"
#include "platform/SerialPort.h"

std::unique_ptr<iSerialLine> openSerialLine(const std::string& path, int& error) {
    if (path.empty()) {
        error = kSerialErrorNotFound;
        return nullptr;
    }
    if (LoopbackLine::isLoopbackName(path))
        return LoopbackLine::openHost(path, error);
    auto port = std::make_unique<SerialPort>();
    error = port->open(path.c_str());
    if (error != 0)
        return nullptr;
    return port;
}
