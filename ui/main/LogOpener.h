#pragma once

#include "model/logs/LoadedLog.h"
#include "model/logs/LogReadOptions.h"
#include "model/logs/LogReadReport.h"
#include "ui/analysis/LogSource.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class AppModel;
class LoggingState;
class QLineEdit;
class QPushButton;
class QWidget;
class UserPrompts;

// Opens a saved log (data.dat export, Astrelvo CSV or PHD2 guide log, told apart by content) in place of
// the live samples, and closes it again. Opening is refused while logging; a data.dat export asks for its
// encoder width and sample period, a guide log with several sections for the one to read (the longest
// by default). The file is read off the UI thread. A file that cannot be read is reported with its line
// and changes nothing; skipped lines and the reader's notes are reported once the log is open. Only then
// are the store's records given up (after asking, when some were never exported). While a log is open
// the counter line names it and the button closes it. It is the analysis window's source of logs. UI
// thread.
class LogOpener : public LogSource {
    Q_OBJECT
public:
    // Whether the store's records may be discarded now (asks the user when they were never exported).
    using DiscardCheck = std::function<bool()>;
    // Shows a log in the graph, or the live store again (nullptr).
    using GraphView = std::function<void(const LoadedLog* log)>;

    LogOpener(QWidget* window, AppModel* model, const LoggingState* logging, const UserPrompts* prompts);

    void setDiscardCheck(DiscardCheck check) { mayDiscard_ = std::move(check); }
    void setGraphView(GraphView view) { graphView_ = std::move(view); }
    // The counter line that names the open log and the button that opens and closes.
    void setIndicators(QLineEdit* counterLine, QPushButton* button);

    // The button: closes the open log, or asks for a file and opens it.
    void command();
    // Opens the file; false when it was refused, cancelled or could not be read (nothing changed).
    bool open(const QString& path);
    // Back to the live samples; nothing when no log is open.
    void close();

    bool isOpen() const { return log_ != nullptr; }
    // The open log, shared with the analysis; null when none is open.
    std::shared_ptr<const LoadedLog> log() const override { return log_; }
    QString path() const override { return path_; }
    // Counts the opens and closes, so that a watcher can tell that the log changed.
    uint64_t generation() const { return generation_; }
    // One line on the open log for the user: file, format, samples, section.
    QString summary() const override;
    // Another log, read for the caller alone (the open one stays).
    void chooseLog(QWidget* parent, const QString& title, Chosen done) override;

    static QString openButtonText() { return QStringLiteral("Open log..."); }
    static QString closeButtonText() { return QStringLiteral("Close log"); }

private:
    // Tells the user and returns true while logging.
    bool refusedWhileLogging() const;
    // Asks for a file over parent, starting in the last directory; empty when cancelled.
    QString askFile(QWidget* parent, const QString& title);
    // Reads the file, asking over parent what it does not say; null when cancelled or failed (the user
    // has been told).
    std::shared_ptr<LoadedLog> load(QWidget* parent, const QString& path, LogReadReport& report);
    // Reads the file in the background; on failure tells the user and returns false.
    bool read(QWidget* parent, const QString& path, const LogReadOptions& options, LoadedLog& log,
              LogReadReport& report);
    bool askDatOptions(QWidget* parent, const QString& path, LogReadOptions& options);
    // A guide log with several sections: the one the user picks, read. False when cancelled or failed.
    bool chooseSection(QWidget* parent, const QString& path, LogReadOptions& options, LoadedLog& log,
                       LogReadReport& report);
    void reportIssues(QWidget* parent, const QString& path, const LoadedLog& log,
                      const LogReadReport& report);
    void showIndicators();

    QWidget* window_;
    AppModel* model_;
    const LoggingState* logging_;
    const UserPrompts* prompts_;
    DiscardCheck mayDiscard_;
    GraphView graphView_;
    QLineEdit* counterLine_ = nullptr;
    QPushButton* button_ = nullptr;
    std::shared_ptr<const LoadedLog> log_;
    QString path_;
    QString lastDirectory_;
    uint64_t generation_ = 0;
};
