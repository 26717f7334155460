#pragma once

#include "ui/main/ExitGuard.h"
#include "ui/main/LoggingState.h"

#include <QString>

#include <cstdint>
#include <memory>

class AnalysisWindow;
class AppModel;
class CsvExportAction;
class EncoderGraph;
class LogOpener;
class NoteLabel;
class QLineEdit;
class QPushButton;
class QWidget;
class UserPrompts;

// What the main dialog does with the logged data besides logging it: Export (data.dat) and "CSV...",
// "Open log..." / "Close log", "Analysis...", and the question before records that were never exported
// would be lost (quitting, opening a log, a new connection). Keeps the logging state these depend on: the
// dialog reports Start, Stop, Connect, Disconnect and the statuses. UI thread.
class LogActions {
public:
    // The main dialog's controls these actions report in.
    struct Controls {
        NoteLabel* exportNote = nullptr;
        QLineEdit* counterLine = nullptr;
        QPushButton* openButton = nullptr;
    };

    LogActions(QWidget* dialog, AppModel* model, EncoderGraph* graph, UserPrompts* prompts,
               const Controls& controls);
    ~LogActions();
    LogActions(const LogActions&) = delete;
    LogActions& operator=(const LogActions&) = delete;

    // The buttons.
    bool exportDataDat(); // data.dat in the current directory
    void exportCsv();
    void openOrCloseLog();
    void showAnalysis();
    // Opens a log at once (the program's LOGFILE argument).
    bool openLog(const QString& path);

    // Whether the stored records may be lost now; asks first when some were never exported.
    bool mayLose(ExitGuard::Loss loss);
    void setExitQuestion(ExitGuard::Question question) { exitGuard_.setQuestion(std::move(question)); }

    // What the dialog did and heard. Start and Connect show the live samples again.
    void loggingStarted();
    void loggingStopped() { logging_.stopped(); }
    void connecting(const QString& port);
    void status(uint32_t code);
    // Whether Connect may go ahead: a new connection empties the export area, so asks first while
    // records would be lost. Connect on a controller's open session changes nothing.
    bool mayConnect();
    // The store's markers changed (a new one, Clear): the live graph shows them.
    void liveMarkersChanged();
    void setNight(bool on);

    const LoggingState& logging() const { return logging_; }
    LogOpener* opener() const { return opener_; }
    AnalysisWindow* analysis() const { return analysis_; }

private:
    QWidget* dialog_;
    AppModel* model_;
    EncoderGraph* graph_;
    UserPrompts* prompts_;
    NoteLabel* exportNote_;
    LoggingState logging_;
    ExitGuard exitGuard_;
    bool night_ = false;
    bool controllerSession_ = false; // connected to a controller (not the test mode), as the statuses tell
    LogOpener* opener_;              // a child of the dialog
    AnalysisWindow* analysis_ = nullptr; // a child window of the dialog, made when first asked for
    std::unique_ptr<CsvExportAction> csvExport_;
};
