#include "tools/cli/ConsoleProgram.h"

#include "rz4/StatusCode.h"

#include <csignal>
#include <cstdio>

namespace {
volatile std::sig_atomic_t g_stopRequested = 0;
}

ConsoleProgram::ConsoleProgram() {
    program_.attach(this);
    program_.start();
}

bool ConsoleProgram::isErrorStatus(uint32_t code) {
    return code >= StatusCannotOpenPort && code <= StatusNotConnectedYet;
}

void ConsoleProgram::requestStop() {
    g_stopRequested = 1;
}

bool ConsoleProgram::stopRequested() {
    return g_stopRequested != 0;
}

bool ConsoleProgram::pumpUntil(const std::function<bool()>& done, int timeoutMs, bool interruptible) {
    program_.pumpUntil([&] { return done() || (interruptible && stopRequested()); }, timeoutMs);
    return done();
}

void ConsoleProgram::OnStatus(uint32_t code) {
    code &= 0xFFFF;
    const char* text = statusText(code);
    if (text == nullptr)
        return;
    lastStatus_ = code;
    ++statusCount_;
    std::fprintf(stderr, "%s\n", text);
}
