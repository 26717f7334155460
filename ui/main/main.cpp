// The program's entry point: the command line first (--help and --version need no display), then the
// Qt application object stands for the desktop's control library, and the application runs its objects
// and its main dialog.

#include "app/CommandLine.h"
#include "platform/Utf8CommandLine.h"
#include "ui/main/Application.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QStandardPaths>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace {

constexpr int kExitNoDisplay = 1;
constexpr int kExitUsage = 2;

// Without a platform chosen and without a display the window system cannot start; say so plainly.
// Windows always has its desktop.
bool displayAvailable(int argc, char** argv) {
#ifdef _WIN32
    (void)argc;
    (void)argv;
    return true;
#else
    auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value != nullptr && value[0] != '\0';
    };
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return true; // Qt's own option names the platform
    }
    return set("QT_QPA_PLATFORM") || set("DISPLAY") || set("WAYLAND_DISPLAY");
#endif
}

int refuse(const std::string& error) {
    std::fprintf(stderr, "astrelvo: %s\n\n%s", error.c_str(), kProgramUsage);
    return kExitUsage;
}

// Qt ends the program with an abort when the window system named by the environment cannot be
// reached (DISPLAY set, no X server yet, as in a start-up script run too early). While the
// application object starts, such a fatal message ends the program with a plain message and the
// no-display exit code instead.
QtMessageHandler gQtHandler = nullptr;

void startUpMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type != QtFatalMsg) {
        if (gQtHandler != nullptr)
            gQtHandler(type, context, message);
        return;
    }
    // Qt has already said which display it could not reach; its fatal text only advises reinstalling.
    std::fputs("Astrelvo: the graphical desktop cannot be reached; the program needs one.\n", stderr);
    std::_Exit(kExitNoDisplay);
}

} // namespace

int main(int programArgc, char** programArgv) {
#ifdef _WIN32
    // A Windows GUI program has no console of its own: --help, --version and usage errors go to the
    // console it was started from, unless its output was redirected.
    if (::GetStdHandle(STD_ERROR_HANDLE) == nullptr && ::AttachConsole(ATTACH_PARENT_PROCESS)) {
        std::freopen("CONOUT$", "w", stdout);
        std::freopen("CONOUT$", "w", stderr);
    }
#endif
    // The arguments in UTF-8 (a log's path may hold any letter); Qt takes its options out of these.
    Utf8CommandLine utf8(programArgc, programArgv);
    int& argc = utf8.argc();
    char** argv = utf8.argv();
    // A first look for --help and --version; the rest is judged once Qt has taken its own options.
    CommandLine line = parseCommandLine(argc, argv);
    if (line.action == CommandLine::Action::Help) {
        std::fputs(kProgramUsage, stdout);
        return 0;
    }
    if (line.action == CommandLine::Action::Version) {
        std::printf("astrelvo %s\n", kProgramVersion);
        return 0;
    }
    if (!displayAvailable(argc, argv)) {
        // Bad usage is told as such even here; Qt's own options cannot be told apart from faults yet,
        // but without a display nothing they set could run anyway.
        if (line.action == CommandLine::Action::Error)
            return refuse(line.error);
        std::fputs("Astrelvo: no display (neither DISPLAY nor WAYLAND_DISPLAY is set); the program needs a "
                   "graphical desktop.\n",
                   stderr);
        return kExitNoDisplay;
    }
    gQtHandler = qInstallMessageHandler(startUpMessage);
    QApplication application(argc, argv);
    qInstallMessageHandler(gQtHandler);
    QApplication::setApplicationName(QStringLiteral("Astrelvo"));
    QApplication::setApplicationVersion(QString::fromLatin1(kProgramVersion));
    // Lets the desktop match the window to its menu entry and icon (the Wayland app id).
    QApplication::setDesktopFileName(QStringLiteral("org.astrelvo.Astrelvo"));
#ifndef _WIN32
    // The installed icon theme entry; run from the build tree there is none and the window has no icon.
    // (On Windows the windows take the program's own icon resource.)
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("org.astrelvo.Astrelvo")));
#endif
#ifdef _WIN32
    // Started from the Start menu or from Explorer, the program runs in its own folder under Program
    // Files, where a user may write nothing: data.dat and the other exports go to the user's Documents
    // folder instead. Started from a console, the console's folder stays.
    if (QDir::current() == QDir(QCoreApplication::applicationDirPath())) {
        const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        if (!documents.isEmpty() && QDir().mkpath(documents))
            QDir::setCurrent(documents);
    }
#endif
    // QApplication has taken its own options out of argv; what is left is ours.
    line = parseCommandLine(argc, argv);
    if (line.action == CommandLine::Action::Error)
        return refuse(line.error);
    return Application::run({}, &line);
}
