#include "platform/Utf8CommandLine.h"

#include "platform/win32/Utf16.h"

#include <windows.h>

#include <shellapi.h>

Utf8CommandLine::Utf8CommandLine(int argc, char** argv) {
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (wide != nullptr && count > 0) {
        for (int i = 0; i < count; ++i)
            arguments_.push_back(toUtf8(wide[i]));
    } else {
        arguments_.assign(argv, argv + argc); // as the runtime gave them
    }
    if (wide != nullptr)
        ::LocalFree(wide);
    for (std::string& argument : arguments_)
        pointers_.push_back(argument.data());
    pointers_.push_back(nullptr);
    argc_ = static_cast<int>(arguments_.size());

    const UINT before = ::GetConsoleOutputCP();
    if (before != 0 && before != CP_UTF8 && ::SetConsoleOutputCP(CP_UTF8))
        outputCodePage_ = before;
}

Utf8CommandLine::~Utf8CommandLine() {
    if (outputCodePage_ != 0)
        ::SetConsoleOutputCP(outputCodePage_);
}
