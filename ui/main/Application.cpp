#include "ui/main/Application.h"

#include "app/CommandLine.h"
#include "app/Program.h"
#include "engine/CommControl.h"
#include "ui/main/DlgMain.h"
#include "ui/main/VirtualController.h"

#include <QTimer>

#include <memory>

int Application::run(const BeforeRun& beforeRun, const CommandLine* line) {
    auto program = std::make_unique<Program>();
    // The built-in emulator starts only when the user connects to it.
    auto virtualController = std::make_unique<VirtualController>();
    auto dialog = std::make_unique<DlgMain>(&program->model(), &program->engine(), &program->channel(),
                                            virtualController.get());
    // The dialog is the model's listener and the channel's callback; its notice adapter is the sender.
    program->attach(dialog.get(), dialog->noticeSender());
    program->start();
    if (line != nullptr && !line->port.empty()) {
        dialog->choosePort(line->port);
        // For observatory start-up scripts: connect as soon as the dialog runs.
        if (line->connect)
            QTimer::singleShot(0, dialog.get(), [&dialog] { dialog->command(DlgMain::IdConnect); });
    }
    // The log named on the command line opens once the dialog runs (after a connect asked for with it, so
    // that the connect does not close it again).
    if (line != nullptr && !line->logFile.empty()) {
        const QString path = QString::fromStdString(line->logFile);
        QTimer::singleShot(0, dialog.get(), [&dialog, path] { dialog->openLog(path); });
    }
    if (beforeRun)
        beforeRun(*dialog);
    dialog->exec();

    program->stop();
    // The engine has closed its side of the emulator's line: the emulator may go now.
    virtualController->stop();
    dialog.reset();
    program.reset();
    return 0;
}
