#include "ui/Application.h"

#include "app/EngineShutdown.h"
#include "app/HeartBeatTimer.h"
#include "engine/CommControl.h"
#include "model/AppModel.h"
#include "model/DataTransfer.h"
#include "model/StatusCode.h"
#include "ui/DlgMain.h"
#include "ui/VirtualController.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

int Application::run(const BeforeRun& beforeRun) {
    // The sample store is large; it lives on the heap and is never copied.
    auto model = std::make_unique<AppModel>();
    auto heartbeat = std::make_unique<HeartBeatTimer>();
    auto transfer = std::make_unique<DataTransfer>(model.get());
    auto engine = std::make_unique<CommControl>(transfer.get()); // starts the engine's worker thread
    heartbeat->setListener(engine.get());
    // The built-in emulator starts only when the user connects to it.
    auto virtualController = std::make_unique<VirtualController>();
    auto dialog =
        std::make_unique<DlgMain>(model.get(), engine.get(), transfer.get(), virtualController.get());

    // Wire the user interface into the data path before any thread can report.
    model->listener = dialog.get();
    transfer->setCallback(dialog.get());
    transfer->setSender(dialog.get());

    heartbeat->start();
    if (beforeRun)
        beforeRun(*dialog);
    dialog->exec();

    // Detach before stopping, stop every thread before destroying what it uses.
    transfer->setCallback(nullptr);
    heartbeat->clearListener();
    heartbeat->stop();
    stopEngineWhileDraining(*engine, *transfer);
    // The engine has closed its side of the emulator's line: the emulator may go now.
    virtualController->stop();

    dialog.reset();
    engine.reset();
    virtualController.reset();
    transfer.reset();
    model.reset();
    heartbeat.reset();
    return 0;
}
