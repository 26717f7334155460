#pragma once

#include "ui/common/TemplateDialog.h"

struct LogSettings;

// Edits the log settings: processed or raw records and the record rate. The record changes only on Ok;
// exec() returns 1 for Ok, 0 for Cancel. settings must outlive the dialog. UI thread only.
class LogSettingsDialog : public TemplateDialog {
    Q_OBJECT
public:
    LogSettingsDialog(QWidget* owner, LogSettings* settings);

    // Control and command IDs.
    enum : int {
        IdOk = 1,
        IdCancel = 2,
        IdLogProcessed = 135,
        IdRate0 = 140, // rate radios 0..5, in the order of the log rates
        IdRate5 = 145,
        IdGroup = 1000,
    };

    // IdOk, IdCancel, the rate radios.
    bool command(int id) override;

private:
    LogSettings* settings_;
    int rate_;
};
