#include "ui/ExitGuard.h"

#include <QMessageBox>
#include <QPushButton>

#include <algorithm>
#include <limits>

void ExitGuard::recordsAdded(uint32_t count) {
    constexpr uint32_t kMost = std::numeric_limits<uint32_t>::max();
    unexported_ = count > kMost - unexported_ ? kMost : unexported_ + count;
}

ExitGuard::Answer ExitGuard::ask(QWidget* parent, uint32_t storedRaw, bool plain) const {
    const uint32_t count = std::min(unexported_, storedRaw);
    if (question_)
        return question_(count);
    QMessageBox box(plain ? QMessageBox::NoIcon : QMessageBox::Question, QStringLiteral("Unexported records"),
                    QStringLiteral("%1 records have not been exported.\nQuit and discard them?").arg(count),
                    QMessageBox::Yes | QMessageBox::No, parent);
    QPushButton* exportButton = box.addButton(QStringLiteral("Export and quit"), QMessageBox::AcceptRole);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    box.exec();
    if (box.clickedButton() == exportButton)
        return Answer::ExportAndQuit;
    if (box.clickedButton() == box.button(QMessageBox::Yes))
        return Answer::Discard;
    return Answer::Stay;
}
