#include "platform/FileOpen.h"

#include "platform/win32/Utf16.h"

#include <cerrno>

std::FILE* openFile(const char* utf8Path, const char* mode) {
    if (utf8Path == nullptr || mode == nullptr) {
        errno = EINVAL;
        return nullptr;
    }
    const std::wstring path = toUtf16(utf8Path);
    if (path.empty()) {
        errno = ENOENT;
        return nullptr;
    }
    return ::_wfopen(path.c_str(), toUtf16(mode).c_str());
}
