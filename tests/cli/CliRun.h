#pragma once

// Runs the built astrelvo-cli (ASTRELVO_CLI_PATH) in a scratch directory and collects what it printed.
// POSIX runs it through the shell; Windows (also under Wine) through CreateProcess.
#include "platform/Process.h"
#include "platform/Utf8Path.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>
#ifdef _WIN32
#include "platform/win32/Utf16.h"

#include <windows.h>
#else
#include <sys/wait.h>
#endif

using CliArgs = std::vector<std::string>;

struct CliRunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// path: UTF-8.
inline std::string readWholeFile(const std::string& path) {
    std::ifstream in(pathFromUtf8(path), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// The text with every CR LF turned into LF.
inline std::string withLineFeeds(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            out += text[i];
    }
    return out;
}

// Words separated by spaces; 'single quotes' keep a word with spaces together.
inline CliArgs splitCliArgs(const std::string& text) {
    CliArgs args;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (char c : text) {
        if (c == '\'') {
            quoted = !quoted;
            inWord = true;
        } else if (c == ' ' && !quoted) {
            if (inWord)
                args.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        args.push_back(word);
    return args;
}

#ifdef _WIN32
// Runs the program in dir with stdout and stderr going to files; the exit code, -1 when it could not
// run or did not end within two minutes. Paths and arguments in UTF-8, passed on in UTF-16.
inline int runCliProgram(const std::string& dir, const CliArgs& args, const std::string& out,
                         const std::string& err) {
    std::string line = "\"" ASTRELVO_CLI_PATH "\"";
    for (const std::string& a : args)
        line += a.find(' ') == std::string::npos && !a.empty() ? " " + a : " \"" + a + "\"";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE outFile = ::CreateFileW(toUtf16(out).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE errFile = ::CreateFileW(toUtf16(err).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = outFile;
    startup.hStdError = errFile;
    PROCESS_INFORMATION process{};
    std::wstring command = toUtf16(line);
    const BOOL started = ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                          toUtf16(dir).c_str(), &startup, &process);
    ::CloseHandle(outFile);
    ::CloseHandle(errFile);
    if (!started)
        return -1;
    DWORD code = static_cast<DWORD>(-1);
    if (::WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0)
        ::GetExitCodeProcess(process.hProcess, &code);
    else
        ::TerminateProcess(process.hProcess, 1);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return static_cast<int>(code);
}
#else
inline int runCliProgram(const std::string& dir, const CliArgs& args, const std::string& out,
                         const std::string& err) {
    std::string cmd = "cd '" + dir + "' && '" ASTRELVO_CLI_PATH "'";
    for (const std::string& a : args)
        cmd += " '" + a + "'";
    cmd += " >'" + out + "' 2>'" + err + "'";
    const int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif

class CliRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        static int serial = 0;
        dir_ = (std::filesystem::temp_directory_path() /
                ("astrelvo-cli-test-" + std::to_string(currentProcessId()) + "-" + std::to_string(++serial)))
                   .string();
        std::filesystem::remove_all(dir_);
        ASSERT_TRUE(std::filesystem::create_directories(dir_));
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    std::string path(const std::string& name) const { return dir_ + "/" + name; }

    void writeFile(const std::string& name, const std::string& text) const {
        std::ofstream out(pathFromUtf8(path(name)), std::ios::binary);
        out << text;
    }

    CliRunResult run(const CliArgs& args) const {
        const std::string out = dir_ + "/stdout", err = dir_ + "/stderr";
        CliRunResult r;
        r.exitCode = runCliProgram(dir_, args, out, err);
        r.out = readWholeFile(out);
        r.err = readWholeFile(err);
#ifdef _WIN32
        // What a Windows program prints in text mode ends its lines in CR LF.
        r.out = withLineFeeds(r.out);
        r.err = withLineFeeds(r.err);
#endif
        return r;
    }
    CliRunResult run(const std::string& args) const {
        return run(splitCliArgs(args));
    }

    std::string dir_;
};
