#include "ui/dialogs/DisplaySettingsDialog.h"

#include "ui/common/NumberText.h"
#include "ui/common/PlainRadioButton.h"

#include <QCheckBox>
#include <QLineEdit>

namespace {

// The graph's vertical scales, in the order of their indices.
const char* const kScaleTexts[10] = {
    "1 arcsec = 20 pixel",      "1 arcsec = 10 pixel",   "2 arcsecs = 10 pixel",  "5 arcsecs = 10 pixel",
    "10 arcsecs = 10 pixel",    "20 arcsecs = 10 pixel", "50 arcsecs = 10 pixel", "5 arcminutes = 10 pixel",
    "20 arcminutes = 10 pixel", "1 degree = 10 pixel",
};

} // namespace

DisplaySettingsDialog::DisplaySettingsDialog(QWidget* owner, DisplaySettings* settings)
    : TemplateDialog(owner, QStringLiteral("Display settings"), 256, 178), settings_(settings),
      scale_(settings->scaleIndex), scheme_(settings->colorScheme), extra_(settings->extraChoice),
      autoScale_(settings->autoScale), centre_(settings->centre), axis_(settings->timeAxis) {
    addGroupBox(1000, QStringLiteral("Vertical scale"), 12, 8, 110, 162);
    for (int i = 0; i < 10; ++i)
        addRadio(100 + i, QString::fromLatin1(kScaleTexts[i]), 16, 20 + 12 * i, 100, 12);
    addRadio(IdAutoScale, QStringLiteral("Auto (fit the curve)"), 16, 140, 100, 12)
        ->setToolTip(
            QStringLiteral("The scale follows the visible curve, with round steps between the labels"));
    addCommandCheckBox(IdCentre, QStringLiteral("Centre on the mean"), 16, 154, 100, 12)
        ->setToolTip(QStringLiteral("The zero line stays on the mean of the visible curve"));
    addGroupBox(1001, QStringLiteral("Offset"), 130, 8, 100, 28);
    addStatic(1100, QStringLiteral("Vertical:"), 136, 20, 40, 10, Qt::AlignRight);
    addEdit(120, 180, 19, 36, 12);
    addGroupBox(1002, QStringLiteral("Color scheme"), 130, 38, 100, 40);
    addRadio(130, QStringLiteral("Dark colors"), 138, 50, 80, 12);
    addRadio(131, QStringLiteral("Light colors"), 138, 62, 80, 12);
    addGroupBox(IdTimeAxisGroup, QStringLiteral("Time axis"), 130, 80, 100, 52);
    addRadio(IdSamplePerPixel, QStringLiteral("One sample per pixel"), 138, 92, 88, 12)
        ->setToolTip(QStringLiteral("Sample by sample from the left; the curve stops at the right edge"));
    addRadio(IdFollowNewest, QStringLiteral("Follow newest"), 138, 104, 88, 12)
        ->setToolTip(
            QStringLiteral("Once the graph is full it scrolls, the newest sample at the right edge"));
    addRadio(IdWholeRun, QStringLiteral("Whole run"), 138, 116, 88, 12)
        ->setToolTip(QStringLiteral("Every sample fitted into the width; no peak is lost"));
    addButton(1, QStringLiteral("Ok"), 125, 154, 60, 16);
    addButton(2, QStringLiteral("Cancel"), 190, 154, 60, 16);

    // A value outside a group's range leaves every button of that group unchecked.
    if (autoScale_)
        checkRadio(100, IdAutoScale, IdAutoScale);
    else
        checkRadioIndex(100, 109, scale_);
    checkRadioIndex(130, 131, scheme_);
    checkRadioIndex(140, 142, extra_);
    checkRadioIndex(IdSamplePerPixel, IdWholeRun, static_cast<int>(axis_));
    setChecked(IdCentre, centre_);
    setEditText(120, signedDecimalText(settings_->verticalOffset));
    updateOffsetEdit();
}

void DisplaySettingsDialog::updateOffsetEdit() {
    if (QWidget* edit = control(120))
        edit->setEnabled(!autoScale_ && !centre_);
}

bool DisplaySettingsDialog::command(int id) {
    if (id >= 100 && id <= 109) {
        scale_ = id - 100;
        autoScale_ = false;
        checkRadio(100, IdAutoScale, id);
        updateOffsetEdit();
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
    if (id >= IdSamplePerPixel && id <= IdWholeRun) {
        axis_ = static_cast<TimeAxis>(id - IdSamplePerPixel);
        checkRadio(IdSamplePerPixel, IdWholeRun, id);
        return true;
    }
    switch (id) {
    case IdAutoScale:
        autoScale_ = true;
        checkRadio(100, IdAutoScale, id);
        updateOffsetEdit();
        return true;
    case IdCentre:
        centre_ = !centre_;
        setChecked(IdCentre, centre_);
        updateOffsetEdit();
        return true;
    case 1:
        settings_->scaleIndex = scale_;
        settings_->colorScheme = scheme_;
        settings_->extraChoice = extra_;
        settings_->verticalOffset = readSignedDecimal(editText(120));
        settings_->autoScale = autoScale_;
        settings_->centre = centre_;
        settings_->timeAxis = axis_;
        done(1);
        return true;
    case 2:
        done(0);
        return true;
    default:
        return false;
    }
}
