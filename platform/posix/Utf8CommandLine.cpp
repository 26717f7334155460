#include "platform/Utf8CommandLine.h"

Utf8CommandLine::Utf8CommandLine(int argc, char** argv) : argc_(argc) {
    pointers_.assign(argv, argv + argc);
    pointers_.push_back(nullptr);
}

Utf8CommandLine::~Utf8CommandLine() = default;
