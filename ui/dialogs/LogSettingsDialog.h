#pragma once

#include "ui/common/TemplateDialog.h"

struct LogSettings;

// Edits the log settings: processed or raw records and the record rate. The record changes only on Ok;
// exec() returns 1 for Ok, 0 for Cancel. settings must outlive the dialog. UI thread only.
class LogSettingsDialog : public TemplateDialog {
    Q_OBJECT
public:
    LogSettingsDialog(QWidget* owner, LogSettings* settings);

    // 1 Ok, 2 Cancel, 140..145 rate.
    bool command(int id) override;

private:
    LogSettings* settings_;
    int rate_;
};
