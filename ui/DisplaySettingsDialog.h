#pragma once

#include "ui/TemplateDialog.h"

struct DisplaySettings;

// Edits the graph's display settings: vertical scale, colour scheme, a stored three-way choice and the
// vertical offset. The record changes only on Ok; exec() returns 1 for Ok, 0 for Cancel. settings must
// outlive the dialog. UI thread only.
class DisplaySettingsDialog : public TemplateDialog {
    Q_OBJECT
public:
    DisplaySettingsDialog(QWidget* owner, DisplaySettings* settings);

    // 1 Ok, 2 Cancel, 100..109 scale, 130..131 colour scheme, 140..142 extra choice.
    bool command(int id) override;

private:
    DisplaySettings* settings_;
    int scale_;
    int scheme_;
    int extra_;
};
