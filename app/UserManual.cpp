#include "app/UserManual.h"

#include "platform/Utf8Path.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

#ifndef ASTRELVO_MANUAL_FROM_BINDIR
#define ASTRELVO_MANUAL_FROM_BINDIR ""
#endif
#ifndef ASTRELVO_MANUAL_INSTALLED
#define ASTRELVO_MANUAL_INSTALLED ""
#endif
#ifndef ASTRELVO_BUILD_DIR
#define ASTRELVO_BUILD_DIR ""
#endif
#ifndef ASTRELVO_SOURCE_README
#define ASTRELVO_SOURCE_README ""
#endif

namespace {

bool isFile(const fs::path& p) {
    std::error_code ec;
    return !p.empty() && fs::is_regular_file(p, ec);
}

// Whether dir lies in root, both resolved through links; false when either does not exist.
bool isInside(const fs::path& dir, const fs::path& root) {
    std::error_code ec;
    const fs::path d = fs::canonical(dir, ec);
    if (ec)
        return false;
    const fs::path r = fs::canonical(root, ec);
    if (ec)
        return false;
    return std::mismatch(r.begin(), r.end(), d.begin(), d.end()).first == r.end();
}

} // namespace

UserManualPlaces builtUserManualPlaces() {
    return {ASTRELVO_MANUAL_FROM_BINDIR, ASTRELVO_MANUAL_INSTALLED, ASTRELVO_BUILD_DIR,
            ASTRELVO_SOURCE_README};
}

std::string locateUserManual(const std::string& programDir, const UserManualPlaces& places) {
    if (!programDir.empty() && !places.fromProgramDir.empty()) {
        const fs::path beside =
            (pathFromUtf8(programDir) / pathFromUtf8(places.fromProgramDir)).lexically_normal();
        if (isFile(beside))
            return utf8FromPath(beside);
    }
    if (!programDir.empty() && !places.buildTree.empty() &&
        isInside(pathFromUtf8(programDir), pathFromUtf8(places.buildTree)) &&
        isFile(pathFromUtf8(places.sourceReadme)))
        return places.sourceReadme;
    if (isFile(pathFromUtf8(places.installed)))
        return places.installed;
    return {};
}
