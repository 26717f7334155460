#include "ui/DisplaySettingsDialog.h"

#include "model/Settings.h"
#include "ui/NumberText.h"

namespace {

// The graph's vertical scales, in the order of their indices.
const char* const kScaleTexts[10] = {
    "1 arcsec = 20 pixel",      "1 arcsec = 10 pixel",   "2 arcsecs = 10 pixel",  "5 arcsecs = 10 pixel",
    "10 arcsecs = 10 pixel",    "20 arcsecs = 10 pixel", "50 arcsecs = 10 pixel", "5 arcminutes = 10 pixel",
    "20 arcminutes = 10 pixel", "1 degree = 10 pixel",
};

} // namespace

DisplaySettingsDialog::DisplaySettingsDialog(QWidget* owner, DisplaySettings* settings)
    : TemplateDialog(owner, QStringLiteral("Display settings"), 256, 150), settings_(settings),
      scale_(settings->scaleIndex), scheme_(settings->colorScheme), extra_(settings->extraChoice) {
    addGroupBox(1000, QStringLiteral("Vertical scale"), 12, 8, 110, 136);
    for (int i = 0; i < 10; ++i)
        addRadio(100 + i, QString::fromLatin1(kScaleTexts[i]), 16, 20 + 12 * i, 100, 12);
    addGroupBox(1001, QStringLiteral("Offset"), 130, 8, 100, 28);
    addStatic(1100, QStringLiteral("Vertical:"), 136, 20, 40, 10, Qt::AlignRight);
    addEdit(120, 180, 19, 36, 12);
    addGroupBox(1002, QStringLiteral("Color scheme"), 130, 38, 100, 40);
    addRadio(130, QStringLiteral("Dark colors"), 138, 50, 80, 12);
    addRadio(131, QStringLiteral("Light colors"), 138, 62, 80, 12);
    addButton(1, QStringLiteral("Ok"), 125, 126, 60, 16);
    addButton(2, QStringLiteral("Cancel"), 190, 126, 60, 16);

    // A value outside a group's range leaves every button of that group unchecked.
    checkRadioIndex(100, 109, scale_);
    checkRadioIndex(130, 131, scheme_);
    checkRadioIndex(140, 142, extra_);
    setEditText(120, signedDecimalText(settings_->verticalOffset));
}

bool DisplaySettingsDialog::command(int id) {
    if (id >= 100 && id <= 109) {
        scale_ = id - 100;
        checkRadio(100, 109, id);
        return true;
    }
    if (id >= 130 && id <= 131) {
        scheme_ = id - 130;
        checkRadio(130, 131, id);
        return true;
    }
    if (id >= 140 && id <= 142) {
        extra_ = id - 140;
        checkRadio(140, 142, id);
        return true;
    }
    switch (id) {
    case 1:
        settings_->scaleIndex = scale_;
        settings_->colorScheme = scheme_;
        settings_->extraChoice = extra_;
        settings_->verticalOffset = readSignedDecimal(editText(120));
        done(1);
        return true;
    case 2:
        done(0);
        return true;
    default:
        return false;
    }
}
