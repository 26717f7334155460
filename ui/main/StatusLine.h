#pragma once

#include <QRect>
#include <QString>

#include <cstdint>

class QLineEdit;
class QPushButton;

// The main dialog's status line and the "Why?" button at its right end: shows the status texts and,
// after a port could not be opened, keeps the reason the system gave and makes room for the button
// that tells it. UI thread.
class StatusLine {
public:
    // full: the line's rectangle without the button; narrowed: with it.
    StatusLine(QLineEdit* line, QPushButton* why, const QRect& full, const QRect& narrowed);

    // Shows the text of a status code; codes without a text change nothing.
    void showStatus(uint32_t code);
    // The reason behind "Error: Cannot open port."; empty hides the button.
    void setOpenError(const QString& reason);
    const QString& openError() const { return openError_; }

    // The system's reason for an open that failed with errno error, with a hint where the user can act
    // (permissions, a missing adapter, another program holding the port), after the device path.
    static QString openErrorText(int error, const QString& path);

private:
    QLineEdit* line_;
    QPushButton* why_;
    QRect full_;
    QRect narrowed_;
    QString openError_;
};
