#pragma once

#include "model/analysis/TuningRun.h"
#include "ui/common/TemplateDialog.h"

#include <QElapsedTimer>
#include <QString>
#include <QTimer>

#include <functional>

class AppModel;
class PlotView;
class QPlainTextEdit;
class QTableWidget;
class iEngineCommands;

// The tuning assistant: a view of one TuningRun, which searches the gains the user ticks (P, I, D, in
// that order) for the lowest RMS of the logged tracking error, one step at a time. The window says
// before Start how long the search takes and refuses one the sample store cannot hold; it lists each
// step in the table and on the plot of RMS against each gain's value, the run's notes and what it does
// now. At the end the user keeps the best gains, keeps and stores them in EEPROM (asked first, naming
// all ten values), or restores; Stop, Close or a failure restore. What the run sends back, keeps or
// stores is said done only once the controller confirmed it, and a window closed meanwhile closes when
// that is settled. The main graph shows a marker at each step. Logging is started through the host
// when it is not running. model and engine must outlive the window. UI thread only.
class TuningWindow : public TemplateDialog, private iTuningHost, private iTuningListener {
    Q_OBJECT
public:
    // What the window needs from the main dialog.
    struct Host {
        std::function<bool()> logging;      // whether the main dialog logs now
        std::function<void()> startLogging; // the main dialog's Start
        bool testMode = false;              // the test mode: no controller takes gains
        std::function<void()> stopLogging;  // the main dialog's Stop
    };
    enum : int {
        IdClose = 2,
        IdSearchP = 130,
        IdSearchI = 131,
        IdSearchD = 132,
        IdSeconds = 140,
        IdMaxSteps = 141,
        IdStart = 150,
        IdStop = 151,
        IdKeep = 160,
        IdKeepAndStore = 161,
        IdRestore = 162,
        IdStatus = 170,
        IdNotes = 171,
        IdTable = 172,
        IdPlot = 173,
    };
    using State = TuningRun::State;

    TuningWindow(QWidget* owner, AppModel* model, iEngineCommands* engine, Host host);
    ~TuningWindow() override;

    bool command(int id) override;
    // A run under way sends the values of Start back first; the window closes once the controller
    // confirmed them (or did not in time).
    void done(int result) override;

    // Moves the run on; a timer calls it.
    void poll();

    State state() const { return run_.state(); }
    const TuningRun& run() const { return run_; }
    const PidSearch* search() const { return run_.search(); }
    QString statusText() const;
    QString notesText() const;
    // The night colours for the plot (the rest follows the application's palette).
    void setNight(bool night);

protected:
    // Asks before the gains are stored in EEPROM; question names the values. Tests answer.
    virtual bool confirmStore(const QString& question);
    // Milliseconds on a steady clock; tests move it.
    virtual qint64 nowMs() const { return clock_.elapsed(); }

private:
    // iTuningHost
    bool logging() const override;
    void startLogging() override;
    void stopLogging() override;
    bool linkLost() const override { return false; }
    // iTuningListener
    void stepEnded(const TuningStep& step) override;
    void note(const std::string& text) override;
    void progress(const std::string& text) override;
    void stepsFinished() override;
    void stopped(const std::string& why) override;
    void ended(const TuningEnd& end) override;

    void start();
    void decide(int id);
    // The settings the edits and ticks give; false, with the reason in the status line, when they are
    // not valid.
    bool settingsFromControls(TuningRun::Settings& settings);
    // What Start would do, and how long it takes, while no run is under way.
    void showPlan();
    void updatePlot();
    void setStatus(const QString& text);
    void enableControls();

    AppModel* model_;
    iEngineCommands* engine_;
    Host host_;
    TuningRun run_;
    QTimer timer_;
    QElapsedTimer clock_;
    QTableWidget* table_ = nullptr;
    PlotView* plot_ = nullptr;
    QPlainTextEdit* notes_ = nullptr;
    std::vector<TuningStep> steps_;
    bool startedLogging_ = false; // without a host that says: the window started the logging
    bool night_ = false;
    bool closing_ = false; // closes once the run has ended
    int closeResult_ = 0;
};
