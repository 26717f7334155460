// astrelvo-emulator: an RZ4 controller on a pseudo-terminal, for trying the program without hardware.
// Prints the device path to open, then runs until SIGINT or SIGTERM.

#include "emulator/Rz4Emulator.h"
#include "emulator/ServoModel.h"
#include "rz4/PidValues.h"
#include "tools/emulator/ServoOptimum.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void usage(std::FILE* to) {
    std::fputs("usage: astrelvo-emulator [options]\n"
               "  --link PATH             also make PATH a symbolic link to the device (removed on exit)\n"
               "  --encoder-bits N        encoder width in bits (default 25)\n"
               "  --record-length N       bytes per logged record, 0..255 (default 16)\n"
               "  --max-block-bytes N     largest data block reported to the host (default 2000)\n"
               "  --hardware-version N    identity reported to the host\n"
               "  --full-speed            every block request gets the full count at once\n"
               "  --worm-period S         worm period in seconds (default 480)\n"
               "  --amplitude A           periodic error of the worm, arc-seconds (default 5)\n"
               "  --wrong-identity        answer the identity request with a foreign reply\n"
               "  --silent-from N         answer nothing from the N-th handshake request on\n"
               "  --garbage N             up to N noise bytes before every frame\n"
               "  --garbage-any           noise may contain frame start bytes\n"
               "  --garbage-inside N      N noise bytes inside every frame\n"
               "  --oversize N            block frames declare N (> 2048) data bytes\n"
               "  --hang-up-at N          close the line in the middle of the N-th block\n"
               "  --flood                 send block frames unasked, as fast as possible\n"
               "  --ignore-command N      take packets with controller command N without effect or answer\n"
               "  --seed N                seed of the noise\n"
               "  --pid P,I,D             the closed loop's gains at start (default 80,40,120)\n"
               "\n",
               to);
    std::fputs(ServoModel::description(), to);
    std::fputs(ServoOptimum::table(TrackingSignal::Params{}, 800).c_str(), to);
}

// "P,I,D": three numbers from 0 to 65535.
bool parseGains(const char* text, std::array<std::uint16_t, 10>& pid) {
    unsigned long v[3] = {};
    char* at = const_cast<char*>(text);
    for (int i = 0; i < 3; ++i) {
        if (at == nullptr || *at < '0' || *at > '9')
            return false;
        errno = 0;
        v[i] = std::strtoul(at, &at, 10);
        if (errno != 0 || v[i] > 65535 || *at != (i < 2 ? ',' : '\0'))
            return false;
        ++at;
    }
    pid = rz4::pidValuesWithGains({static_cast<std::uint16_t>(v[0]), static_cast<std::uint16_t>(v[1]),
                                   static_cast<std::uint16_t>(v[2])},
                                  pid);
    return true;
}

bool parseNumber(const char* text, unsigned long max, unsigned long& out) {
    if (text == nullptr || *text == '\0')
        return false;
    errno = 0;
    char* end = nullptr;
    unsigned long v = std::strtoul(text, &end, 0);
    if (errno != 0 || *end != '\0' || v > max || text[0] == '-')
        return false;
    out = v;
    return true;
}

bool parseSeconds(const char* text, double& out) {
    if (text == nullptr || *text == '\0')
        return false;
    char* end = nullptr;
    double v = std::strtod(text, &end);
    if (*end != '\0' || !(v >= 0.0 && v < 1e9))
        return false;
    out = v;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    Rz4EmulatorConfig config;
    std::string link;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        unsigned long n = 0;
        double d = 0.0;
        bool ok = true;
        bool takesValue = true;
        if (a == "--help" || a == "-h") {
            usage(stdout);
            return 0;
        } else if (a == "--link") {
            ok = value != nullptr;
            if (ok)
                link = value;
        } else if (a == "--encoder-bits") {
            ok = parseNumber(value, 255, n);
            config.encoderBits = static_cast<std::uint8_t>(n);
        } else if (a == "--record-length") {
            ok = parseNumber(value, 255, n);
            config.recordLength = static_cast<std::uint8_t>(n);
        } else if (a == "--max-block-bytes") {
            ok = parseNumber(value, 0xFFFFFFFFul, n);
            config.maxBlockBytes = static_cast<std::uint32_t>(n);
        } else if (a == "--hardware-version") {
            ok = parseNumber(value, 0xFFFFFFFFul, n);
            config.hardwareVersion = static_cast<std::uint32_t>(n);
        } else if (a == "--worm-period") {
            ok = parseSeconds(value, d) && d > 0.0;
            config.signal.wormPeriodS = d;
        } else if (a == "--amplitude") {
            ok = parseSeconds(value, d);
            config.signal.amplitudeArcsec[0] = d;
        } else if (a == "--silent-from") {
            ok = parseNumber(value, 1000, n);
            config.silentFromStep = static_cast<int>(n);
        } else if (a == "--garbage") {
            ok = parseNumber(value, 1024, n);
            config.garbageBetweenFrames = static_cast<int>(n);
        } else if (a == "--garbage-inside") {
            ok = parseNumber(value, 1024, n);
            config.garbageInsideFrames = static_cast<int>(n);
        } else if (a == "--oversize") {
            ok = parseNumber(value, 65535, n) && n > 2048;
            config.oversizeLength = static_cast<std::uint32_t>(n);
        } else if (a == "--hang-up-at") {
            ok = parseNumber(value, 1000000, n);
            config.hangUpAtBlock = static_cast<int>(n);
        } else if (a == "--ignore-command") {
            ok = parseNumber(value, 255, n) && n > 0;
            config.ignoredCommand = static_cast<std::uint8_t>(n);
        } else if (a == "--pid") {
            ok = value != nullptr && parseGains(value, config.pid);
        } else if (a == "--seed") {
            ok = parseNumber(value, 0xFFFFFFFFul, n);
            config.randomSeed = static_cast<std::uint32_t>(n);
            config.signal.seed = static_cast<std::uint32_t>(n);
        } else {
            takesValue = false;
            if (a == "--full-speed")
                config.fullSpeed = true;
            else if (a == "--wrong-identity")
                config.identityLength = 4;
            else if (a == "--garbage-any")
                config.garbageAnyBytes = true;
            else if (a == "--flood")
                config.flood = true;
            else
                ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "astrelvo-emulator: bad option or value: %s\n", a.c_str());
            usage(stderr);
            return 2;
        }
        if (takesValue)
            ++i;
    }

    // The signals are taken synchronously below; every thread started later inherits the mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    Rz4Emulator emulator(config);
    if (!emulator.start()) {
        std::fprintf(stderr, "astrelvo-emulator: cannot create a pseudo-terminal: %s\n",
                     std::strerror(errno));
        return 1;
    }
    if (!link.empty()) {
        struct stat st {};
        if (::lstat(link.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
            ::unlink(link.c_str());
        if (::symlink(emulator.slavePath().c_str(), link.c_str()) != 0) {
            std::fprintf(stderr, "astrelvo-emulator: cannot create link %s: %s\n", link.c_str(),
                         std::strerror(errno));
            link.clear();
        }
    }
    std::printf("%s\n", emulator.slavePath().c_str());
    std::fflush(stdout);

    timespec wait{0, 200 * 1000 * 1000};
    while (!emulator.hungUp()) {
        int sig = sigtimedwait(&signals, nullptr, &wait);
        if (sig == SIGINT || sig == SIGTERM)
            break;
    }
    emulator.stop();
    if (!link.empty())
        ::unlink(link.c_str());
    return 0;
}
