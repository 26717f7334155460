#include "ui/main/StatusLine.h"

#include "platform/SerialPort.h"
#include "rz4/StatusCode.h"

#include <QLineEdit>
#include <QPushButton>

StatusLine::StatusLine(QLineEdit* line, QPushButton* why, const QRect& full, const QRect& narrowed)
    : line_(line), why_(why), full_(full), narrowed_(narrowed) {
    why_->hide();
}

void StatusLine::showStatus(uint32_t code) {
    if (const char* text = code < kStatusCodeCount ? statusText(code) : nullptr)
        line_->setText(QString::fromUtf8(text));
}

void StatusLine::setOpenError(const QString& reason) {
    openError_ = reason;
    const bool show = !reason.isEmpty();
    line_->setGeometry(show ? narrowed_ : full_);
    // A long status text may not fit the line: the tool tip shows it whole.
    line_->setToolTip(show ? QStringLiteral("Cannot open port: ") + reason : line_->text());
    why_->setToolTip(line_->toolTip());
    why_->setVisible(show);
}

QString StatusLine::openErrorText(int error, const QString& path) {
    const QByteArray device = path.toUtf8();
    const QString reason =
        QString::fromStdString(serialOpenErrorText(error, device.isEmpty() ? nullptr : device.constData()));
    return path.isEmpty() ? reason : path + QStringLiteral(": ") + reason;
}
