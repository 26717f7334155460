#include "platform/MappedFile.h"

#include "platform/posix/FileHandle.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

struct MappedFile::System {
    FileHandle fd;
    void* map = nullptr;
    std::size_t mapLength = 0;

    void unmap() {
        if (map != nullptr)
            ::munmap(map, mapLength);
        map = nullptr;
        mapLength = 0;
    }
    ~System() { unmap(); }
};

MappedFile::MappedFile() : system_(std::make_unique<System>()) {}

MappedFile::~MappedFile() = default;

bool MappedFile::open(const char* utf8Path) {
    system_ = std::make_unique<System>();
    size_ = 0;
    errorNumber_ = 0;
    system_->fd.reset(::open(utf8Path, O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (!system_->fd.valid() || ::fstat(system_->fd.get(), &info) != 0) {
        errorNumber_ = errno != 0 ? errno : EIO;
        system_->fd.reset();
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        errorNumber_ = S_ISDIR(info.st_mode) ? EISDIR : ENODEV;
        system_->fd.reset();
        return false;
    }
    size_ = static_cast<uint64_t>(info.st_size);
    return true;
}

const char* MappedFile::view(uint64_t offset, std::size_t length, std::size_t& available) {
    available = 0;
    system_->unmap();
    if (!system_->fd.valid() || offset >= size_ || length == 0)
        return nullptr;
    const uint64_t page = static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
    const uint64_t start = offset - offset % page;
    const uint64_t end = offset + length < size_ ? offset + length : size_;
    const std::size_t mapLength = static_cast<std::size_t>(end - start);
#ifdef MAP_POPULATE
    constexpr int kFlags = MAP_PRIVATE | MAP_POPULATE; // the window is read whole: fault it in at once
#else
    constexpr int kFlags = MAP_PRIVATE;
#endif
    void* map = ::mmap(nullptr, mapLength, PROT_READ, kFlags, system_->fd.get(), static_cast<off_t>(start));
    if (map == MAP_FAILED) {
        errorNumber_ = errno != 0 ? errno : EIO;
        return nullptr;
    }
    ::madvise(map, mapLength, MADV_SEQUENTIAL);
    system_->map = map;
    system_->mapLength = mapLength;
    available = static_cast<std::size_t>(end - offset);
    return static_cast<const char*>(map) + (offset - start);
}
