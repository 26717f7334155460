#pragma once

#include "ui/common/DialogUnits.h"

#include <QDialog>
#include <QString>

class QCheckBox;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class PlainRadioButton;
class Trackbar;

// A modal dialog laid out like a dialog template: every control sits at its rectangle in dialog units
// (converted with the dialog's font), carries its control ID as object name, and every button click
// goes to one command handler. Enter gives command 1 (or clicks the focused push button), Esc and the
// close box give command 2. Controls are looked up by ID, so commands whose controls are absent read
// them as empty or unchecked. Lives on the UI thread.
class TemplateDialog : public QDialog {
    Q_OBJECT
public:
    // The command handler: acts on a control ID as a click on that control would and returns whether the
    // ID belongs to this dialog.
    virtual bool command(int id) = 0;

    // The child control with this ID, or nullptr when the dialog has none.
    QWidget* control(int id) const;

    // Notifications: edit id lost the keyboard focus; the user finished changing trackbar id. Both do
    // nothing unless the dialog handles them.
    virtual void editFocusLost(int id);
    virtual void trackbarEndTrack(int id);

public slots:
    void reject() override;

protected:
    // Client size in dialog units; the title is the window caption.
    TemplateDialog(QWidget* owner, const QString& title, int width, int height);

    const DialogUnits& units() const { return units_; }
    // A new client size in dialog units (a dialog that folds a part out or in).
    void setTemplateSize(int width, int height);

    // A single-line text, anchored at the left or right edge of its rectangle.
    QLabel* addStatic(int id, const QString& text, int x, int y, int w, int h, Qt::Alignment align);
    // A left-aligned text broken into lines at word boundaries.
    QLabel* addWrappedStatic(int id, const QString& text, int x, int y, int w, int h);
    QLineEdit* addEdit(int id, int x, int y, int w, int h, bool readOnly = false);
    QPushButton* addButton(int id, const QString& text, int x, int y, int w, int h);
    QCheckBox* addCheckBox(int id, const QString& text, int x, int y, int w, int h);
    // A check box that does not change its own state when clicked: the click goes to the command
    // handler, which decides (a disabled box is not clicked at all).
    QCheckBox* addCommandCheckBox(int id, const QString& text, int x, int y, int w, int h);
    PlainRadioButton* addRadio(int id, const QString& text, int x, int y, int w, int h);
    QGroupBox* addGroupBox(int id, const QString& text, int x, int y, int w, int h);
    // Trackbar id: the end of each user change calls trackbarEndTrack(id).
    Trackbar* addTrackbar(int id, int x, int y, int w, int h);

    // Text of edit id; empty when there is no such edit.
    QString editText(int id) const;
    void setEditText(int id, const QString& text);
    // Whether check box or radio button id is checked; false when there is no such control.
    bool isChecked(int id) const;
    void setChecked(int id, bool checked);
    // Checks radio button id and unchecks the others of first..last that exist.
    void checkRadio(int first, int last, int id);
    // checkRadio for the button at position index of first..last; an index outside the group checks none.
    void checkRadioIndex(int first, int last, long long index);

    // A copy of font with its line height scaled from a pixel height meant for the classic 8-point dialog
    // font (13 pixels high) to this dialog's font, and the given weight.
    QFont scaledFont(const QFont& font, int classicPixelHeight, QFont::Weight weight) const;

    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void place(QWidget* widget, int id, int x, int y, int w, int h);

    DialogUnits units_;
};
