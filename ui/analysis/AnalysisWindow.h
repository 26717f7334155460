#pragma once

#include "model/analysis/LogAnalysisReport.h"
#include "model/analysis/LogComparer.h"
#include "ui/analysis/AnalysisRunner.h"
#include "ui/analysis/PlotPalette.h"

#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <memory>

class AppModel;
class CompareTable;
class ComponentTable;
class LogSource;
class NoteLabel;
class PlotView;
class QLabel;
class QLineEdit;
class QPushButton;
class SegmentTable;
class UserPrompts;

// The analysis window (not modal): the periodic error of the open log, or of the live samples while no
// log is open, as periodic-error tools show it. Four plots: the curve as logged with its drift line, the
// drift-removed curve, the amplitude spectrum against period (logarithmic axis) and the curve folded on
// the worm period (each cycle in its own shade, the mean cycle bold); a table of the five strongest
// components and one of the stretches between markers, two of which can be laid over each other. The
// worm period is entered in seconds (samples without a time base) and follows the dominant period until
// one is entered. The analyses run off the UI thread: live samples are copied and analysed at most four
// times a second while they change and the window is shown. "Save picture..." writes the plots as PNG,
// "Save CSV..." the spectrum and the folded mean. "Compare with..." reads a second log and lays it beside
// the one shown (the open log, or the live samples as they are then) as BEFORE and AFTER: both spectra,
// both mean worm cycles on one phase axis, and the table of astrelvo-cli compare in place of the
// component and stretch tables, until "End compare". Night mode makes the plots red on black. UI thread.
class AnalysisWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kIntervalMs = 250;

    // source: where the log to analyse comes from (null: the live samples only).
    AnalysisWindow(const AppModel* model, LogSource* source, const UserPrompts* prompts,
                   QWidget* parent = nullptr);
    ~AnalysisWindow() override;

    void setNight(bool night);
    bool night() const { return night_; }
    // The worm period to fold on (seconds with a time base, else samples), as if entered; 0 or less
    // follows the dominant period again.
    void setWormPeriod(double period);
    // Starts an analysis when the data or the choices changed and none is running.
    void poll();
    // Compares the log shown (BEFORE) with after, named afterName; "Swap" turns them round. False (the
    // user told why) when the two cannot be compared.
    bool compareWith(std::shared_ptr<const LoadedLog> after, const QString& afterName);
    void swapCompared();
    void endCompare();
    const LogComparison* comparison() const { return comparison_.get(); }
    CompareTable* compareTable() const { return compareTable_; }
    QPushButton* compareButton() const { return compare_; }
    // Write the picture of the plots (PNG) or the analysis CSV; tell the user when that fails.
    bool savePicture(const QString& path);
    bool saveCsv(const QString& path);

    // What is shown, for tests and screenshots.
    const LogAnalysisReport* report() const { return report_.get(); }
    uint64_t reportsShown() const { return reportsShown_; }
    // The report shown answers the last request, and no other waits to be made.
    bool settled() const { return !dirty_ && !runner_.busy() && report_ && report_->serial == serial_; }
    ComponentTable* componentTable() const { return components_; }
    SegmentTable* segmentTable() const { return segments_; }
    PlotView* curvePlot() const { return curve_; }
    PlotView* spectrumPlot() const { return spectrum_; }
    PlotView* foldPlot() const { return fold_; }
    QWidget* plots() const { return plots_; }
    QLineEdit* wormEdit() const { return wormEdit_; }
    QLabel* sourceLabel() const { return source_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void build();
    void showReport(std::shared_ptr<const LogAnalysisReport> report);
    void fillPlots();
    void fillCurves(const LogAnalysisReport& r);
    void fillSpectrum(const LogAnalysisReport& r);
    void fillFold(const LogAnalysisReport& r);
    void showSource();
    void wormEntered();
    void choosePicture();
    void chooseCompare();
    bool runCompare();
    void showCompared();
    void chooseCsv();
    QString sourceName() const;
    // "Stretch 2 (PID 100/40/120)".
    QString stretchName(int index) const;

    const AppModel* model_;
    LogSource* logSource_;
    const UserPrompts* prompts_;
    AnalysisRunner runner_;
    QTimer timer_;
    bool night_ = false;
    PlotPalette colours_ = PlotPalette::day();

    // What the last request was made of, to tell when the next one is due.
    bool dirty_ = true;
    bool analysedLive_ = false;
    bool logChanged_ = true; // the source's log changed since it was last analysed
    uint32_t liveCount_ = 0;
    uint32_t liveBits_ = 0;
    int liveRate_ = -1;
    uint32_t liveMarkers_ = 0;
    std::shared_ptr<LoadedLog> liveLog_; // refilled only while the runner is not busy
    uint64_t serial_ = 0;
    double wormPeriod_ = 0.0; // entered; 0 follows the dominant period
    bool wormTyped_ = false;  // the edit was typed into since it was last filled
    int compareA_ = -1;
    int compareB_ = -1;

    // The two logs compared (BEFORE, AFTER) with their names, and what came of it; null while not comparing.
    std::shared_ptr<const LoadedLog> compared_[2];
    QString comparedName_[2];
    std::shared_ptr<const LogComparison> comparison_;
    LogComparer comparer_; // used by one comparison at a time, on the thread runInBackground makes

    std::shared_ptr<const LogAnalysisReport> report_;
    uint64_t reportsShown_ = 0;
    QString lastDirectory_;

    QLabel* source_ = nullptr;
    QLineEdit* wormEdit_ = nullptr;
    QLabel* wormUnit_ = nullptr;
    QPushButton* dominant_ = nullptr;
    QPushButton* savePicture_ = nullptr;
    QPushButton* saveCsv_ = nullptr;
    QPushButton* compare_ = nullptr;
    QWidget* compareBar_ = nullptr;
    QLabel* compareLabel_ = nullptr;
    QWidget* tables_ = nullptr; // the component and stretch tables
    CompareTable* compareTable_ = nullptr;
    QWidget* plots_ = nullptr;
    PlotView* logged_ = nullptr;
    PlotView* curve_ = nullptr;
    PlotView* spectrum_ = nullptr;
    PlotView* fold_ = nullptr;
    ComponentTable* components_ = nullptr;
    SegmentTable* segments_ = nullptr;
    NoteLabel* note_ = nullptr;
};
