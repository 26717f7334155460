#include "tools/cli/BackupCommand.h"

#include "app/CommandLine.h"
#include "engine/CommControl.h"
#include "model/store/AppModel.h"
#include "model/store/SettingsFile.h"
#include "platform/FileOpen.h"
#include "platform/LocalTime.h"
#include "rz4/StatusCode.h"
#include "tools/cli/CliConnection.h"
#include "tools/cli/CliOptions.h"
#include "tools/cli/ConsoleProgram.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

namespace {

// The controller answers the store with a short frame; generous.
constexpr int kStoreTimeoutMs = 10000;
// Time for the commands to go out and their answers (which the engine does not wait for outside
// logging) to come back before the store's answer is awaited.
constexpr int kSettleMs = 1000;
// Settings files are small; anything much larger is not one.
constexpr long kMaxFileBytes = 64 * 1024;

bool readWhole(const std::string& path, std::string& text, std::string& error) {
    const UniqueFile file = openUniqueFile(path.c_str(), "rb");
    if (!file) {
        error = std::strerror(errno);
        return false;
    }
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
        text.append(buffer, n);
        if (static_cast<long>(text.size()) > kMaxFileBytes) {
            error = "too large for a settings file";
            return false;
        }
    }
    if (std::ferror(file.get())) {
        error = std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace

int runBackup(ConsoleProgram& session, const CliOptions& options, Rz4Emulator* emulator) {
    if (!connectController(session, options, emulator)) {
        disconnectController(session, options);
        return CliExitFailed;
    }
    const std::tm date = localTimeNow();
    const std::string text = SettingsFile::header("astrelvo-cli", kProgramVersion, date) +
                             SettingsFile::format(session.model().deviceInfo);
    disconnectController(session, options);

    if (options.settingsFile.empty()) {
        std::fputs(text.c_str(), stdout);
        return std::fflush(stdout) == 0 ? CliExitDone : CliExitFailed;
    }
    UniqueFile file = openUniqueFile(options.settingsFile.c_str(), "wb");
    const bool ok = file && std::fwrite(text.data(), 1, text.size(), file.get()) == text.size();
    if (!file || std::fclose(file.release()) != 0 || !ok) {
        std::fprintf(stderr, "Cannot write %s: %s\n", options.settingsFile.c_str(), std::strerror(errno));
        return CliExitFailed;
    }
    return CliExitDone;
}

int runRestore(ConsoleProgram& session, const CliOptions& options, Rz4Emulator* emulator) {
    // The whole file is checked before anything is sent.
    std::string text;
    std::string error;
    if (!readWhole(options.settingsFile, text, error)) {
        std::fprintf(stderr, "astrelvo-cli: cannot read %s: %s\n", options.settingsFile.c_str(),
                     error.c_str());
        return CliExitUsage;
    }
    SettingsFile file;
    if (!file.parse(text, error)) {
        std::fprintf(stderr, "astrelvo-cli: %s: %s\n", options.settingsFile.c_str(), error.c_str());
        return CliExitUsage;
    }
    if (!connectController(session, options, emulator)) {
        disconnectController(session, options);
        return CliExitFailed;
    }
    if (!file.checkAgainst(session.model().deviceInfo, error)) {
        disconnectController(session, options);
        std::fprintf(stderr, "astrelvo-cli: %s: %s\n", options.settingsFile.c_str(), error.c_str());
        return CliExitUsage;
    }

    const ControllerSettings wrote = file.values().sentTo(session.model().deviceInfo);
    const bool currentSent = wrote.apply(session.engine(), session.model().deviceInfo);
    if (!currentSent)
        std::fprintf(stderr, "astrelvo-cli: the motor current was not sent: the controller reports no "
                             "maximum current to check it against\n");
    session.pumpUntil([] { return false; }, kSettleMs, false);
    if (options.store) {
        const uint32_t before = session.statusCount();
        session.engine().StoreParameters();
        const bool stored = session.pumpUntil(
            [&] {
                return session.statusCount() != before &&
                       (session.lastStatus() == StatusParametersStored ||
                        ConsoleProgram::isErrorStatus(session.lastStatus()));
            },
            kStoreTimeoutMs, false);
        if (!stored || session.lastStatus() != StatusParametersStored) {
            std::fprintf(stderr, "astrelvo-cli: the controller did not confirm the store in EEPROM\n");
            disconnectController(session, options);
            return CliExitFailed;
        }
    }
    disconnectController(session, options);

    // A new connection reads back what the controller holds now.
    if (!connectController(session, options, emulator)) {
        std::fprintf(stderr, "astrelvo-cli: the settings were sent, but cannot be read back\n");
        disconnectController(session, options);
        return CliExitFailed;
    }
    const ControllerSettings read = ControllerSettings::of(session.model().deviceInfo);
    disconnectController(session, options);
    const std::vector<std::string> differences = wrote.differences(read, currentSent);
    for (const std::string& line : differences)
        std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    if (!differences.empty())
        return CliExitFailed;
    std::fprintf(stderr, currentSent ? "Every restored setting reads back as written.\n"
                                     : "Every restored setting sent reads back as written.\n");
    return CliExitDone;
}
