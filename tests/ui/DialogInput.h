#pragma once

// Keyboard and focus input for dialog tests, as the window system delivers it.

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QWidget>

inline void sendKey(QWidget* target, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(target, &release);
}

// The edit loses the keyboard focus (where the dialogs act on a typed value).
inline void loseFocus(QWidget* edit) {
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(edit, &out);
}
