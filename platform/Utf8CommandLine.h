#pragma once

#include <string>
#include <vector>

// The program's arguments in UTF-8, and console output in UTF-8 while the object lives. Windows hands
// main() its arguments in the ANSI code page (letters outside it become '?') and shows a program's
// bytes in the console's code page: there the arguments come from the wide command line and the
// console's output code page is UTF-8 until the object goes, when the old one is put back. Elsewhere
// argv is taken as it is (UTF-8 on the systems we run on) and nothing changes. Made once by main() on
// the main thread; argc() and argv() can be handed to QApplication, which keeps and edits them.
class Utf8CommandLine {
public:
    Utf8CommandLine(int argc, char** argv);
    ~Utf8CommandLine();
    Utf8CommandLine(const Utf8CommandLine&) = delete;
    Utf8CommandLine& operator=(const Utf8CommandLine&) = delete;

    int& argc() { return argc_; }
    char** argv() { return pointers_.data(); }

private:
    std::vector<std::string> arguments_;
    std::vector<char*> pointers_; // into arguments_, then a null
    int argc_ = 0;
    [[maybe_unused]] unsigned outputCodePage_ = 0; // the console's before, to put back; 0: unchanged
};
