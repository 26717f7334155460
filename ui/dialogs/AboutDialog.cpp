#include "ui/dialogs/AboutDialog.h"

#include "app/UserManual.h"
#include "ui/common/LinkLabel.h"
#include "ui/dialogs/ManualWindow.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>

const char* const AboutDialog::kCreditLine = "Written by the Astrelvo developers.";

namespace {

QString findManual() {
    const std::string programDir = QCoreApplication::applicationDirPath().toStdString();
    return QString::fromStdString(locateUserManual(programDir, builtUserManualPlaces()));
}

} // namespace

AboutDialog::AboutDialog(QWidget* owner)
    : TemplateDialog(owner, QStringLiteral("About Astrelvo"), 192, 105), manualPath_(findManual()) {
    QLabel* title = addStatic(IdTitle, QStringLiteral("Astrelvo 1.1."), 8, 8, 180, 14, Qt::AlignLeft);
    title->setFont(scaledFont(title->font(), 16, QFont::Bold));
    addWrappedStatic(IdPurpose,
                     QStringLiteral("This program can be used to measure the periodic error of a "
                                    "telescope mount and configure the closed loop control of the RZ4"),
                     8, 24, 180, 33);
    addStatic(IdCredits, QString::fromLatin1(kCreditLine), 8, 58, 180, 10, Qt::AlignLeft);

    // Run from the build tree, the link opens the README, which describes that build.
    const bool readme = QFileInfo(manualPath_).fileName() == QLatin1String("README.md");
    manualTitle_ = readme ? QStringLiteral("README") : QStringLiteral("User manual");
    auto* link = new LinkLabel(
        manualPath_.isEmpty() ? QStringLiteral("User manual not installed") : manualTitle_, this);
    link->setObjectName(QString::number(IdManualLink));
    link->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    link->setGeometry(units().rect(10, 70, 160, 10));
    link->setToolTip(manualPath_);
    if (manualPath_.isEmpty()) {
        link->setEnabled(false);
        link->setCursor(Qt::ArrowCursor);
    }
    connect(link, &LinkLabel::clicked, this, [this] { command(IdManualLink); });

    addButton(IdExit, QStringLiteral("Exit"), 10, 85, 60, 16);
}

bool AboutDialog::command(int id) {
    switch (id) {
    case IdOk:
    case IdExit:
        done(1);
        return true;
    case IdManualLink: {
        if (manualPath_.isEmpty())
            return true;
        // The manual opens in a window of its own beside the main dialog (one at a time), so that it
        // can stay open while the program is used; without an owner it belongs to this dialog.
        QWidget* owner = parentWidget() != nullptr ? parentWidget() : this;
        ManualWindow* window = owner->findChild<ManualWindow*>(QString(), Qt::FindDirectChildrenOnly);
        if (window == nullptr) {
            window = new ManualWindow(manualPath_, manualTitle_, owner);
            window->setAttribute(Qt::WA_DeleteOnClose);
        }
        window->show();
        window->raise();
        window->activateWindow();
        return true;
    }
    default:
        return false;
    }
}
