#pragma once

// Runs the built astrelvo-cli (ASTRELVO_CLI_PATH) in a scratch directory and collects what it printed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

struct CliRunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline std::string readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class CliRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/astrelvo-cli-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

    std::string path(const std::string& name) const { return dir_ + "/" + name; }

    void writeFile(const std::string& name, const std::string& text) const {
        std::ofstream out(path(name), std::ios::binary);
        out << text;
    }

    CliRunResult run(const std::string& args) const {
        const std::string out = dir_ + "/stdout", err = dir_ + "/stderr";
        const std::string cmd =
            "cd '" + dir_ + "' && '" ASTRELVO_CLI_PATH "' " + args + " >'" + out + "' 2>'" + err + "'";
        const int status = std::system(cmd.c_str());
        CliRunResult r;
        r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = readWholeFile(out);
        r.err = readWholeFile(err);
        return r;
    }

    std::string dir_;
};
