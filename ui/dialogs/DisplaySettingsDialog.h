#pragma once

#include "model/store/Settings.h"
#include "ui/common/TemplateDialog.h"

// Edits the graph's display settings: vertical scale (a fixed one or Auto), Centre, colour scheme, time
// axis, a stored three-way choice and the vertical offset. The record changes only on Ok; exec() returns
// 1 for Ok, 0 for Cancel. settings must outlive the dialog. UI thread only.
class DisplaySettingsDialog : public TemplateDialog {
    Q_OBJECT
public:
    // Control and command IDs.
    enum : int {
        IdOk = 1,
        IdCancel = 2,
        IdScale0 = 100, // radio buttons of the fixed scales 0..9, in the order of the scale table
        IdScale9 = 109,
        IdAutoScale = 110,      // radio in the scale group: the scale fits the visible curve
        IdSamplePerPixel = 150, // time axis radios 150..152, in the order of TimeAxis
        IdFollowNewest = 151,
        IdWholeRun = 152,
        IdVerticalOffset = 120,
        IdDarkColors = 130, // colour scheme radios 130..131
        IdLightColors = 131,
        IdExtra0 = 140, // extra choices 0..2: commands without a control
        IdExtra2 = 142,
        IdCentre = 160, // check box: the curve's mean on the zero line
        IdScaleGroup = 1000,
        IdOffsetGroup = 1001,
        IdColorGroup = 1002,
        IdTimeAxisGroup = 1003,
        IdOffsetLabel = 1100,
    };

    DisplaySettingsDialog(QWidget* owner, DisplaySettings* settings);

    // IdOk, IdCancel, the scale, colour scheme, extra choice and time axis radios, IdCentre.
    bool command(int id) override;

private:
    // The offset applies to a fixed, uncentred scale only; its edit is greyed out otherwise.
    void updateOffsetEdit();

    DisplaySettings* settings_;
    int scale_;
    int scheme_;
    int extra_;
    bool autoScale_;
    bool centre_;
    TimeAxis axis_;
};
