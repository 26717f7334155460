#pragma once

#include "ui/common/TemplateDialog.h"

#include <QString>

// Names the program and its version, says what it is for, credits its authors and links to the user
// manual (the installed one, or the README of the sources when run from the build tree), which opens
// inside the program (ManualWindow). Every way of
// closing it (Enter, Exit, Esc, the close box) ends it with 1. UI thread only.
class AboutDialog : public TemplateDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* owner);

    // Control and command IDs.
    enum : int {
        IdOk = 1, // Enter: a command without a control
        IdExit = 2,
        IdTitle = 101,
        IdPurpose = 102,
        IdCredits = 103,
        IdManualLink = 104,
    };

    // IdOk and IdExit end the dialog with 1; IdManualLink shows the user manual.
    bool command(int id) override;

    // The document the link opens; empty when neither the manual nor the README was found.
    const QString& manualPath() const { return manualPath_; }

    static const char* const kCreditLine;

private:
    QString manualPath_;
    QString manualTitle_;
};
