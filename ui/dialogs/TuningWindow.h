#pragma once

#include "model/analysis/PidSearch.h"
#include "ui/common/TemplateDialog.h"

#include <QElapsedTimer>
#include <QString>
#include <QTimer>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

class AppModel;
class PlotView;
class QPlainTextEdit;
class QTableWidget;
class iEngineCommands;

// The tuning assistant: searches the gains the user ticks (P, I, D, in that order) for the lowest RMS of
// the logged tracking error, one step at a time: each step sends its gains (I and D samples as they
// are), waits until a logged block shows the controller took them (its marker), measures the given
// seconds of samples and lists the step in the table and on the plot of RMS against each gain's value.
// Stop, Close or a failure sends the values the controller had at Start back; at the end the user
// keeps the best gains, keeps and stores them in EEPROM (asked first), or restores. The main graph
// shows a marker at each step. Logging is started through the host when it is not running. model and
// engine must outlive the window. UI thread only.
class TuningWindow : public TemplateDialog {
    Q_OBJECT
public:
    // What the window needs from the main dialog.
    struct Host {
        std::function<bool()> logging;      // whether the main dialog logs now
        std::function<void()> startLogging; // the main dialog's Start
        bool testMode = false;              // the test mode: no controller takes gains
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
    enum class State { Idle, Taking, Measuring, Returning, Ended, Storing };

    // Waiting for the controller to take values, beyond the step's own length for its samples.
    static constexpr int kAnswerTimeoutMs = 15000;

    TuningWindow(QWidget* owner, AppModel* model, iEngineCommands* engine, Host host);
    ~TuningWindow() override;

    bool command(int id) override;
    // A search still running, or ended without a choice, sends the values of Start back first.
    void done(int result) override;

    // Looks at the model's samples and markers and moves the search on; a timer calls it.
    void poll();

    State state() const { return state_; }
    const PidSearch* search() const { return search_.get(); }
    QString statusText() const;
    QString notesText() const;
    // The night colours for the plot (the rest follows the application's palette).
    void setNight(bool night);

protected:
    // Asks before the gains are stored in EEPROM; tests answer.
    virtual bool confirmStore();
    // Milliseconds on a steady clock; tests move it.
    virtual qint64 nowMs() const { return clock_.elapsed(); }

private:
    void start();
    void stop();
    // Sends ten values and waits for the controller to take them (in state next).
    void send(const std::array<uint16_t, 10>& values, State next);
    std::array<uint16_t, 10> stepValues(const PidSearch::Gains& gains) const;
    // The next step, a return to the best, or the end.
    void advance();
    void measureStep();
    void failStep(const QString& why);
    void finish();
    // The search ends before its time: the values of Start go back.
    void abandon(const QString& why);
    void decide(int id);
    bool takenMarker(uint32_t& sample) const;
    void addNotes();
    void addRow();
    void updatePlot();
    void setStatus(const QString& text);
    void enableControls();

    AppModel* model_;
    iEngineCommands* engine_;
    Host host_;
    QTimer timer_;
    QElapsedTimer clock_;
    QTableWidget* table_ = nullptr;
    PlotView* plot_ = nullptr;
    QPlainTextEdit* notes_ = nullptr;

    std::unique_ptr<PidSearch> search_;
    State state_ = State::Idle;
    bool decided_ = true; // nothing to put back
    bool night_ = false;
    std::array<uint16_t, 10> original_{};
    std::array<uint16_t, 10> sent_{};
    uint32_t markerFrom_ = 0; // markers before this one are older than the values sent
    uint32_t sampleFrom_ = 0; // the step measures from this sample on
    uint32_t needed_ = 0;     // samples a step measures
    int rateIndex_ = 0;       // the log rate the samples come at
    qint64 deadline_ = 0;     // the present wait ends in failure then
    int step_ = 0;
};
