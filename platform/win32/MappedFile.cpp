#include "platform/MappedFile.h"

#include "platform/win32/Utf16.h"
#include "platform/win32/WinHandle.h"

#include <cerrno>
#include <windows.h>

struct MappedFile::System {
    WinHandle file;
    WinHandle mapping; // none for an empty file, which cannot be mapped
    const void* view = nullptr;

    void unmap() {
        if (view != nullptr)
            ::UnmapViewOfFile(view);
        view = nullptr;
    }
    ~System() { unmap(); }
};

namespace {

int errnoOf(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return EACCES;
    case ERROR_NOT_ENOUGH_MEMORY:
        return ENOMEM;
    default:
        return EIO;
    }
}

} // namespace

MappedFile::MappedFile() : system_(std::make_unique<System>()) {}

MappedFile::~MappedFile() = default;

bool MappedFile::open(const char* utf8Path) {
    system_ = std::make_unique<System>();
    size_ = 0;
    errorNumber_ = 0;
    const std::wstring path = toUtf16(utf8Path);
    system_->file.reset(
        ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!system_->file.valid()) {
        errorNumber_ = errnoOf(::GetLastError());
        return false;
    }
    LARGE_INTEGER size{};
    if (::GetFileType(system_->file.get()) != FILE_TYPE_DISK ||
        !::GetFileSizeEx(system_->file.get(), &size) || size.QuadPart < 0) {
        errorNumber_ = ENODEV;
        system_->file.reset();
        return false;
    }
    size_ = static_cast<uint64_t>(size.QuadPart);
    if (size_ > 0) {
        system_->mapping.reset(
            ::CreateFileMappingW(system_->file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
        if (!system_->mapping.valid()) {
            errorNumber_ = errnoOf(::GetLastError());
            system_->file.reset();
            size_ = 0;
            return false;
        }
    }
    return true;
}

const char* MappedFile::view(uint64_t offset, std::size_t length, std::size_t& available) {
    available = 0;
    system_->unmap();
    if (!system_->mapping.valid() || offset >= size_ || length == 0)
        return nullptr;
    SYSTEM_INFO info{};
    ::GetSystemInfo(&info);
    const uint64_t granularity = info.dwAllocationGranularity;
    const uint64_t start = offset - offset % granularity;
    const uint64_t end = offset + length < size_ ? offset + length : size_;
    const void* view =
        ::MapViewOfFile(system_->mapping.get(), FILE_MAP_READ, static_cast<DWORD>(start >> 32),
                        static_cast<DWORD>(start & 0xFFFFFFFFu), static_cast<SIZE_T>(end - start));
    if (view == nullptr) {
        errorNumber_ = errnoOf(::GetLastError());
        return nullptr;
    }
    system_->view = view;
    available = static_cast<std::size_t>(end - offset);
    return static_cast<const char*>(view) + (offset - start);
}
