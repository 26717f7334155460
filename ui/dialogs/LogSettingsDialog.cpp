#include "ui/dialogs/LogSettingsDialog.h"

#include "model/store/Settings.h"

namespace {

const char* const kRateTexts[6] = {"1/4 Hz", "1 Hz", "4 Hz", "16 Hz", "64 Hz", "128 Hz"};

} // namespace

LogSettingsDialog::LogSettingsDialog(QWidget* owner, LogSettings* settings)
    : TemplateDialog(owner, QStringLiteral("Log settings"), 164, 142), settings_(settings),
      rate_(settings->logRate) {
    addGroupBox(IdGroup, QStringLiteral("Log settings"), 12, 8, 72, 100);
    addCheckBox(IdLogProcessed, QStringLiteral("Log processed"), 16, 20, 66, 12);
    for (int i = 0; i < 6; ++i)
        addRadio(IdRate0 + i, QString::fromLatin1(kRateTexts[i]), 16, 32 + 12 * i, 50, 12);
    addButton(IdOk, QStringLiteral("Ok"), 20, 116, 60, 18);
    addButton(IdCancel, QStringLiteral("Cancel"), 92, 116, 60, 18);

    setChecked(IdLogProcessed, settings_->logProcessed);
    checkRadioIndex(IdRate0, IdRate5, rate_);
}

bool LogSettingsDialog::command(int id) {
    if (id >= IdRate0 && id <= IdRate5) {
        rate_ = id - IdRate0;
        checkRadio(IdRate0, IdRate5, id);
        return true;
    }
    switch (id) {
    case IdOk:
        settings_->logProcessed = isChecked(IdLogProcessed);
        settings_->logRate = rate_;
        done(1);
        return true;
    case IdCancel:
        done(0);
        return true;
    default:
        return false;
    }
}
