#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

// A throw-away directory tree for tests that need files, links and directories laid out as the system
// lays them out. Removed with everything in it when the object goes. Owned by one test.
class TempTree {
public:
    TempTree() {
        char pattern[] = "/tmp/astrelvo-test-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        root_ = made != nullptr ? made : "";
    }
    ~TempTree() {
        std::error_code ec;
        if (!root_.empty())
            std::filesystem::remove_all(root_, ec);
    }
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    std::string path(const std::string& relative) const { return (root_ / relative).string(); }
    std::string dir(const std::string& relative) const {
        std::filesystem::create_directories(root_ / relative);
        return path(relative);
    }
    std::string file(const std::string& relative, const std::string& text = "") const {
        std::filesystem::create_directories((root_ / relative).parent_path());
        std::ofstream(root_ / relative, std::ios::binary) << text;
        return path(relative);
    }
    // A symbolic link at relative pointing to target (taken as written, like ln -s).
    void link(const std::string& relative, const std::string& target) const {
        std::filesystem::create_directories((root_ / relative).parent_path());
        std::filesystem::create_symlink(target, root_ / relative);
    }

private:
    std::filesystem::path root_;
};
