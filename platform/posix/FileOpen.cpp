#include "platform/FileOpen.h"

#include <cerrno>

std::FILE* openFile(const char* utf8Path, const char* mode) {
    if (utf8Path == nullptr || mode == nullptr) {
        errno = EINVAL;
        return nullptr;
    }
    return std::fopen(utf8Path, mode);
}
