#pragma once

#include <cstdio>
#include <memory>

// Opens the file that a UTF-8 path names, with std::fopen's modes and results (null with errno set when
// it cannot). Windows: the path goes to _wfopen as UTF-16, so that every name the file system can hold
// opens whatever the ANSI code page (narrow fopen would turn letters outside it into '?'). Elsewhere the
// bytes go to fopen unchanged. Any thread.
std::FILE* openFile(const char* utf8Path, const char* mode);

// Owns an open file and closes it on destruction; a writer that must know whether its last bytes
// reached the disk closes it itself: std::fclose(file.release()).
struct FileCloser {
    void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

inline UniqueFile openUniqueFile(const char* utf8Path, const char* mode) {
    return UniqueFile(openFile(utf8Path, mode));
}
