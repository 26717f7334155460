// Which document the About box opens: the installed manual, or the README when run from the build tree.
#include "app/UserManual.h"
#include "tests/core/TempTree.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

TEST(UserManualLocation, PicksTheDocumentForWhereTheProgramRuns) {
    const char* const manual = "usr/share/doc/astrelvo/MANUAL.md";
    struct Case {
        const char* programDir;
        std::vector<const char*> files;
        const char* expected; // "" for none
    };
    const Case cases[] = {
        {"opt/a/bin", {"opt/a/share/doc/astrelvo/MANUAL.md"}, "opt/a/share/doc/astrelvo/MANUAL.md"},
        {"build/ui", {"src/README.md", manual}, "src/README.md"},
        {"build/ui", {manual}, manual},                        // build tree without its sources
        {"build-other/ui", {"src/README.md", manual}, manual}, // a sibling of the build tree
        {"elsewhere/bin", {"src/README.md"}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.programDir);
        TempTree tree;
        for (const char* f : c.files)
            tree.file(f);
        const UserManualPlaces places{"../share/doc/astrelvo/MANUAL.md", tree.path(manual), tree.dir("build"),
                                      tree.path("src/README.md")};
        EXPECT_EQ(locateUserManual(tree.dir(c.programDir), places), *c.expected ? tree.path(c.expected) : "");
    }
    // This build looks beside the program as the install lays it out, and at its own sources.
    const UserManualPlaces built = builtUserManualPlaces();
    EXPECT_EQ(built.fromProgramDir, "../share/doc/astrelvo/MANUAL.md");
    EXPECT_TRUE(std::filesystem::is_regular_file(built.sourceReadme)) << built.sourceReadme;
}
