#include "ui/dialogs/LogSettingsDialog.h"

#include "model/store/Settings.h"

namespace {

const char* const kRateTexts[6] = {"1/4 Hz", "1 Hz", "4 Hz", "16 Hz", "64 Hz", "128 Hz"};

} // namespace

LogSettingsDialog::LogSettingsDialog(QWidget* owner, LogSettings* settings)
    : TemplateDialog(owner, QStringLiteral("Log settings"), 164, 142), settings_(settings),
      rate_(settings->logRate) {
    addGroupBox(1000, QStringLiteral("Log settings"), 12, 8, 72, 100);
    addCheckBox(135, QStringLiteral("Log processed"), 16, 20, 66, 12);
    for (int i = 0; i < 6; ++i)
        addRadio(140 + i, QString::fromLatin1(kRateTexts[i]), 16, 32 + 12 * i, 50, 12);
    addButton(1, QStringLiteral("Ok"), 20, 116, 60, 18);
    addButton(2, QStringLiteral("Cancel"), 92, 116, 60, 18);

    setChecked(135, settings_->logProcessed);
    checkRadioIndex(140, 145, rate_);
}

bool LogSettingsDialog::command(int id) {
    if (id >= 140 && id <= 145) {
        rate_ = id - 140;
        checkRadio(140, 145, id);
        return true;
    }
    switch (id) {
    case 1:
        settings_->logProcessed = isChecked(135);
        settings_->logRate = rate_;
        done(1);
        return true;
    case 2:
        done(0);
        return true;
    default:
        return false;
    }
}
