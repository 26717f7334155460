#include "app/EngineShutdown.h"

#include "engine/CommControl.h"
#include "model/DataTransfer.h"
#include "model/StatusCode.h"

#include <atomic>
#include <chrono>
#include <thread>

void stopEngineWhileDraining(CommControl& engine, DataTransfer& transfer) {
    std::atomic<bool> stopped{false};
    std::thread stopper([&] {
        engine.shutdown();
        stopped.store(true);
    });
    while (!stopped.load()) {
        transfer.onUserMessage(NotifyData, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    stopper.join();
}
