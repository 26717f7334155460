// The program's entry point: the Qt application object stands for the desktop's control library,
// then the application runs its objects and its main dialog.

#include "ui/Application.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

namespace {

// Without a platform chosen and without a display the window system cannot start; say so plainly.
bool displayAvailable() {
    auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value != nullptr && value[0] != '\0';
    };
    return set("QT_QPA_PLATFORM") || set("DISPLAY") || set("WAYLAND_DISPLAY");
}

} // namespace

int main(int argc, char** argv) {
    if (!displayAvailable()) {
        std::fputs("Astrelvo: no display (neither DISPLAY nor WAYLAND_DISPLAY is set); the program needs a "
                   "graphical desktop.\n",
                   stderr);
        return 1;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Astrelvo"));
    QApplication::setApplicationVersion(QStringLiteral("1.1"));
    return Application::run();
}
