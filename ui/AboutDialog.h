#pragma once

#include "ui/TemplateDialog.h"

// Names the program and its version, says what it is for, credits its authors and links to the maker's
// web page. Every way of closing it (Enter, Exit, Esc, the close box) ends it with 1. UI thread only.
class AboutDialog : public TemplateDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* owner);

    // 1 and 2 end the dialog with 1; 104 opens the maker's web page.
    bool command(int id) override;

    static const char* const kWebAddress;
    static const char* const kCreditLine;
};
