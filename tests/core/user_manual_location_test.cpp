// Which document the About box opens: the installed manual, or the README when run from the build tree.
#include "app/UserManual.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class Tree {
public:
    Tree() {
        char pattern[] = "/tmp/astrelvo-manual-XXXXXX";
        root_ = ::mkdtemp(pattern);
    }
    ~Tree() {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    Tree(const Tree&) = delete;
    Tree& operator=(const Tree&) = delete;

    std::string dir(const std::string& relative) const {
        fs::create_directories(root_ / relative);
        return (root_ / relative).string();
    }
    std::string file(const std::string& relative) const {
        fs::create_directories((root_ / relative).parent_path());
        std::ofstream(root_ / relative) << "text\n";
        return (root_ / relative).string();
    }
    std::string path(const std::string& relative) const { return (root_ / relative).string(); }

private:
    fs::path root_;
};

} // namespace

TEST(UserManualLocation, PicksTheDocumentForWhereTheProgramRuns) {
    struct Case {
        const char* what;
        const char* programDir;
        std::vector<const char*> files;
        const char* expected; // relative to the tree; "" for none
    };
    const Case cases[] = {
        {"package installed anywhere",
         "opt/a/bin",
         {"opt/a/share/doc/astrelvo/MANUAL.md"},
         "opt/a/share/doc/astrelvo/MANUAL.md"},
        {"build tree", "build/ui", {"src/README.md", "usr/share/doc/astrelvo/MANUAL.md"}, "src/README.md"},
        {"build tree without sources",
         "build/ui",
         {"usr/share/doc/astrelvo/MANUAL.md"},
         "usr/share/doc/astrelvo/MANUAL.md"},
        {"a sibling of the build tree is not in it",
         "build-other/ui",
         {"src/README.md", "usr/share/doc/astrelvo/MANUAL.md"},
         "usr/share/doc/astrelvo/MANUAL.md"},
        {"moved program, manual at the built-for prefix",
         "elsewhere/bin",
         {"usr/share/doc/astrelvo/MANUAL.md"},
         "usr/share/doc/astrelvo/MANUAL.md"},
        {"nothing installed", "elsewhere/bin", {"src/README.md"}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Tree tree;
        for (const char* f : c.files)
            tree.file(f);
        const UserManualPlaces places{"../share/doc/astrelvo/MANUAL.md",
                                      tree.path("usr/share/doc/astrelvo/MANUAL.md"), tree.dir("build"),
                                      tree.path("src/README.md")};
        const std::string found = locateUserManual(tree.dir(c.programDir), places);
        EXPECT_EQ(found, *c.expected ? tree.path(c.expected) : std::string());
    }
}

TEST(UserManualLocation, ThisBuildLooksBesideTheProgramAndAtItsSources) {
    const UserManualPlaces places = builtUserManualPlaces();
    EXPECT_EQ(places.fromProgramDir, "../share/doc/astrelvo/MANUAL.md");
    EXPECT_TRUE(fs::is_regular_file(places.sourceReadme)) << places.sourceReadme;
    EXPECT_FALSE(places.buildTree.empty());
}
