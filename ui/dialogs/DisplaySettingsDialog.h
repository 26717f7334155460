#pragma once

#include "model/store/Settings.h"
#include "ui/common/TemplateDialog.h"

// Edits the graph's display settings: vertical scale (a fixed one or Auto), Centre, colour scheme, time
// axis, a stored three-way choice and the vertical offset. The record changes only on Ok; exec() returns
// 1 for Ok, 0 for Cancel. settings must outlive the dialog. UI thread only.
class DisplaySettingsDialog : public TemplateDialog {
    Q_OBJECT
public:
    // Controls beyond the classic template, with IDs no command of the dialog used before.
    enum : int {
        IdAutoScale = 110,      // radio in the scale group: the scale fits the visible curve
        IdSamplePerPixel = 150, // time axis radios 150..152, in the order of TimeAxis
        IdFollowNewest = 151,
        IdWholeRun = 152,
        IdCentre = 160, // check box: the curve's mean on the zero line
        IdTimeAxisGroup = 1003,
    };

    DisplaySettingsDialog(QWidget* owner, DisplaySettings* settings);

    // 1 Ok, 2 Cancel, 100..109 scale, 110 Auto, 130..131 colour scheme, 140..142 extra choice, 150..152
    // time axis, 160 Centre.
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
