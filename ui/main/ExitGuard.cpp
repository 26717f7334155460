#include "ui/main/ExitGuard.h"

#include "model/store/AppModel.h"
#include "ui/main/ExportAreaNote.h"

#include <QMessageBox>
#include <QPushButton>

bool ExitGuard::nothingToLose(const AppModel& model) {
    return model.unexportedRaw() == 0;
}

QString ExitGuard::questionText(const AppModel& model, Loss loss) {
    QString text = QStringLiteral("%1 records have not been exported.").arg(model.unexportedRaw());
    text += exportAreaNote(model);
    switch (loss) {
    case Loss::Quit:
        return text + QStringLiteral("\nQuit and discard them?");
    case Loss::OpenLog:
        return text + QStringLiteral("\nOpen the log and discard them?");
    case Loss::Connect:
        break;
    }
    return text + QStringLiteral("\nA new connection empties the export area. Connect and discard them?");
}

ExitGuard::Answer ExitGuard::ask(QWidget* parent, const AppModel& model, bool plain, Loss loss) const {
    if (question_)
        return question_(model.unexportedRaw());
    QMessageBox box(plain ? QMessageBox::NoIcon : QMessageBox::Question, QStringLiteral("Unexported records"),
                    questionText(model, loss), QMessageBox::Yes | QMessageBox::No, parent);
    const QString exportText = loss == Loss::Quit      ? QStringLiteral("Export and quit")
                               : loss == Loss::OpenLog ? QStringLiteral("Export and open")
                                                       : QStringLiteral("Export and connect");
    QPushButton* exportButton = box.addButton(exportText, QMessageBox::AcceptRole);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    box.exec();
    if (box.clickedButton() == exportButton)
        return Answer::ExportAndQuit;
    if (box.clickedButton() == box.button(QMessageBox::Yes))
        return Answer::Discard;
    return Answer::Stay;
}
