#include "platform/posix/FileHandle.h"

#include <unistd.h>

void FileHandle::reset(int fd) {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
}
