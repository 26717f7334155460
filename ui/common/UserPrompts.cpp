#include "ui/common/UserPrompts.h"

#include <QFileDialog>
#include <QMessageBox>

void UserPrompts::message(QWidget* parent, const QString& title, const QString& text, bool error,
                          const QString& detail) const {
    if (sink_) {
        sink_(title, detail.isEmpty() ? text : text + QStringLiteral("\n") + detail, error);
        return;
    }
    // The standard icons are coloured pictures; at night the text alone speaks.
    const QMessageBox::Icon icon =
        plain_ ? QMessageBox::NoIcon : (error ? QMessageBox::Critical : QMessageBox::Information);
    QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
    if (!detail.isEmpty())
        box.setDetailedText(detail);
    box.exec();
}

QString UserPrompts::openFile(QWidget* parent, const QString& title, const QString& suggested,
                              const QString& filter) const {
    if (open_)
        return open_(title, suggested);
    return QFileDialog::getOpenFileName(parent, title, suggested, filter);
}

QString UserPrompts::saveFile(QWidget* parent, const QString& title, const QString& suggested,
                              const QString& filter) const {
    if (save_)
        return save_(title, suggested);
    return QFileDialog::getSaveFileName(parent, title, suggested, filter);
}
