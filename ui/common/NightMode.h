#pragma once

#include <QColor>
#include <QObject>
#include <QPalette>
#include <QString>

// Red on black for the whole program, for eyes adapted to the dark: the application's palette and
// style sheet are replaced, so every window, including dialogs and message boxes opened while it is
// on, draws only in shades of red (no green or blue in any colour). Turning it off restores the
// palette, style and style sheet the application had before. Line edits invert the pixels under their
// text cursor, which would make it white on black: while it is on, the style draws no cursor and a red
// one is painted instead. UI thread only; one instance is on at a time.
class NightMode : public QObject {
    Q_OBJECT
public:
    NightMode() = default;
    ~NightMode() override; // turns it off
    NightMode(const NightMode&) = delete;
    NightMode& operator=(const NightMode&) = delete;

    void setOn(bool on);
    bool on() const { return on_; }

    // A shade of pure red, 0 black .. 255 brightest.
    static QColor red(int level) { return QColor(level, 0, 0); }
    // The palette and style sheet used while it is on.
    static QPalette palette();
    static QString styleSheet();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool on_ = false;
    QPalette savedPalette_;
    QString savedStyleSheet_;
    QString savedStyleName_;
};
