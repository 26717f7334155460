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
    addGroupBox(IdScaleGroup, QStringLiteral("Vertical scale"), 12, 8, 110, 162);
    for (int i = 0; i < 10; ++i)
        addRadio(IdScale0 + i, QString::fromLatin1(kScaleTexts[i]), 16, 20 + 12 * i, 100, 12);
    addRadio(IdAutoScale, QStringLiteral("Auto (fit the curve)"), 16, 140, 100, 12)
        ->setToolTip(
            QStringLiteral("The scale follows the visible curve, with round steps between the labels"));
    addCommandCheckBox(IdCentre, QStringLiteral("Centre on the mean"), 16, 154, 100, 12)
        ->setToolTip(QStringLiteral("The zero line stays on the mean of the visible curve"));
    addGroupBox(IdOffsetGroup, QStringLiteral("Offset"), 130, 8, 100, 28);
    addStatic(IdOffsetLabel, QStringLiteral("Vertical:"), 136, 20, 40, 10, Qt::AlignRight);
    addEdit(IdVerticalOffset, 180, 19, 36, 12);
    addGroupBox(IdColorGroup, QStringLiteral("Color scheme"), 130, 38, 100, 40);
    addRadio(IdDarkColors, QStringLiteral("Dark colors"), 138, 50, 80, 12);
    addRadio(IdLightColors, QStringLiteral("Light colors"), 138, 62, 80, 12);
    addGroupBox(IdTimeAxisGroup, QStringLiteral("Time axis"), 130, 80, 100, 52);
    addRadio(IdSamplePerPixel, QStringLiteral("One sample per pixel"), 138, 92, 88, 12)
        ->setToolTip(QStringLiteral("Sample by sample from the left; the curve stops at the right edge"));
    addRadio(IdFollowNewest, QStringLiteral("Follow newest"), 138, 104, 88, 12)
        ->setToolTip(
            QStringLiteral("Once the graph is full it scrolls, the newest sample at the right edge"));
    addRadio(IdWholeRun, QStringLiteral("Whole run"), 138, 116, 88, 12)
        ->setToolTip(QStringLiteral("Every sample fitted into the width; no peak is lost"));
    addButton(IdOk, QStringLiteral("Ok"), 125, 154, 60, 16);
    addButton(IdCancel, QStringLiteral("Cancel"), 190, 154, 60, 16);

    // A value outside a group's range leaves every button of that group unchecked.
    if (autoScale_)
        checkRadio(IdScale0, IdAutoScale, IdAutoScale);
    else
        checkRadioIndex(IdScale0, IdScale9, scale_);
    checkRadioIndex(IdDarkColors, IdLightColors, scheme_);
    checkRadioIndex(IdExtra0, IdExtra2, extra_);
    checkRadioIndex(IdSamplePerPixel, IdWholeRun, static_cast<int>(axis_));
    setChecked(IdCentre, centre_);
    setEditText(IdVerticalOffset, signedDecimalText(settings_->verticalOffset));
    updateOffsetEdit();
}

void DisplaySettingsDialog::updateOffsetEdit() {
    if (QWidget* edit = control(IdVerticalOffset))
        edit->setEnabled(!autoScale_ && !centre_);
}

bool DisplaySettingsDialog::command(int id) {
    if (id >= IdScale0 && id <= IdScale9) {
        scale_ = id - IdScale0;
        autoScale_ = false;
        checkRadio(IdScale0, IdAutoScale, id);
        updateOffsetEdit();
        return true;
    }
    if (id >= IdDarkColors && id <= IdLightColors) {
        scheme_ = id - IdDarkColors;
        checkRadio(IdDarkColors, IdLightColors, id);
        return true;
    }
    if (id >= IdExtra0 && id <= IdExtra2) {
        extra_ = id - IdExtra0;
        checkRadio(IdExtra0, IdExtra2, id);
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
        checkRadio(IdScale0, IdAutoScale, id);
        updateOffsetEdit();
        return true;
    case IdCentre:
        centre_ = !centre_;
        setChecked(IdCentre, centre_);
        updateOffsetEdit();
        return true;
    case IdOk:
        settings_->scaleIndex = scale_;
        settings_->colorScheme = scheme_;
        settings_->extraChoice = extra_;
        settings_->verticalOffset = readSignedDecimal(editText(IdVerticalOffset));
        settings_->autoScale = autoScale_;
        settings_->centre = centre_;
        settings_->timeAxis = axis_;
        done(1);
        return true;
    case IdCancel:
        done(0);
        return true;
    default:
        return false;
    }
}
