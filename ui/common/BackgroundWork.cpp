#include "ui/common/BackgroundWork.h"

#include <QApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QWidget>

#include <chrono>
#include <future>
#include <thread>

void runInBackground(QWidget* window, const std::function<void()>& work) {
    QEventLoop loop;
    std::promise<void> finished;
    std::future<void> done = finished.get_future();
    std::thread worker([&loop, &work, &finished] {
        work();
        finished.set_value();
        // Queued: the loop quits on the UI thread, also when the work ends before exec() starts.
        QMetaObject::invokeMethod(
            &loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    if (done.wait_for(std::chrono::milliseconds(kQuietMs)) != std::future_status::ready) {
        const bool disable = window != nullptr && window->isEnabled();
        if (disable)
            window->setEnabled(false);
        QApplication::setOverrideCursor(Qt::WaitCursor);
        loop.exec();
        QApplication::restoreOverrideCursor();
        if (disable)
            window->setEnabled(true);
    }
    worker.join();
}
