#pragma once

#include <QRadioButton>

// A radio button that does not change its own state when clicked: it only reports the click, and the
// dialog's command handler decides which button of the group is checked. UI thread only.
class PlainRadioButton : public QRadioButton {
public:
    using QRadioButton::QRadioButton;

protected:
    void nextCheckState() override {}
};
