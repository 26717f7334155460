#pragma once

#include <string>

// Where the program looks for the document its About box links to.
struct UserManualPlaces {
    std::string fromProgramDir; // the installed manual relative to the program's directory
    std::string installed;      // the installed manual at the prefix the program was built for
    std::string buildTree;      // the build directory: a program inside it runs from the build tree
    std::string sourceReadme;   // the README of the sources the build tree was made from
};

// The places of this build (set by the build system).
UserManualPlaces builtUserManualPlaces();

// The user manual for a program in programDir: the installed copy beside the program
// (<prefix>/bin/../share/doc/astrelvo/MANUAL.md, so a package unpacked anywhere finds its own), else the
// one at the built-for prefix; a program run from the build tree gets the README of its sources instead,
// which describes the same build. Paths in UTF-8. Empty when there is none. Called on the UI thread; reads
// the file system only.
std::string locateUserManual(const std::string& programDir, const UserManualPlaces& places);
