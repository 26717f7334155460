#include "tools/cli/CliConnection.h"

#include "emulator/Rz4Emulator.h"
#include "engine/CommControl.h"
#include "platform/SerialPort.h"
#include "rz4/StatusCode.h"
#include "tools/cli/CliOptions.h"
#include "tools/cli/ConsoleProgram.h"

#include <cstdio>
#include <string>

bool connectController(ConsoleProgram& session, const CliOptions& options, Rz4Emulator* emulator,
                       bool interruptible) {
    const bool testMode = options.port == "test";
    if (testMode) {
        session.engine().Connect(0);
        return session.pumpUntil([&] { return session.lastStatus() == StatusTestMode; }, 5000, interruptible);
    }
    std::string path = options.port;
    if (emulator != nullptr)
        path = emulator->slavePath();
    session.engine().setPortPath(1, path.c_str());
    const uint32_t before = session.statusCount();
    session.engine().Connect(1);
    // Wait for this connection's outcome, not a status left from an earlier one.
    bool ready = session.pumpUntil(
        [&] {
            return session.statusCount() != before && (session.lastStatus() == StatusConnected ||
                                                       ConsoleProgram::isErrorStatus(session.lastStatus()));
        },
        options.connectTimeoutSeconds * 1000, interruptible);
    if (ready && session.lastStatus() == StatusConnected)
        return true;
    if (session.lastStatus() == StatusCannotOpenPort) {
        int error = session.engine().lastOpenError();
        if (error != 0)
            std::fprintf(stderr, "%s: %s\n", path.c_str(), serialOpenErrorText(error).c_str());
    } else if (!ready && !ConsoleProgram::stopRequested()) {
        std::fprintf(stderr, "%s\n", statusText(StatusTimeout));
    }
    return false;
}

void disconnectController(ConsoleProgram& session, const CliOptions& options) {
    if (options.port == "test")
        return; // the test mode opens no port
    // A port that could not be opened, a refused or silent controller and a broken line leave the
    // engine closed already; a Disconnect would only be told "Not connected yet".
    switch (session.lastStatus()) {
    case StatusCannotOpenPort:
    case StatusTimeout:
    case StatusUnknownDevice:
    case StatusNotSupportedDevice:
    case StatusCommunicationError:
        return;
    default:
        break;
    }
    session.engine().Disconnect();
    uint32_t before = session.statusCount();
    session.pumpUntil([&] { return session.statusCount() != before; }, 12000, false);
}
