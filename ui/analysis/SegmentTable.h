#pragma once

#include <QTableWidget>

#include <functional>
#include <vector>

struct LogAnalysisReport;
struct SegmentFigures;

// The stretches of the log between markers, one row each: the marker it starts at, samples,
// drift-removed peak-to-peak and RMS, dominant period, and the change of peak-to-peak and RMS against
// the stretch before (difference and percent). The user picks up to two rows to compare: picking a third
// lets go of the one picked first. UI thread.
class SegmentTable : public QTableWidget {
    Q_OBJECT
public:
    enum Column {
        StartColumn,
        SamplesColumn,
        PeakToPeakColumn,
        RmsColumn,
        PeriodColumn,
        PeakToPeakChangeColumn,
        RmsChangeColumn,
        kColumns
    };
    // Called when the picked rows change, with the first and second pick (-1 for none).
    using PicksChanged = std::function<void(int first, int second)>;

    explicit SegmentTable(QWidget* parent = nullptr);

    void setPicksChanged(PicksChanged callback) { picksChanged_ = std::move(callback); }
    // Fills the rows; picks that still exist stay picked.
    void showReport(const LogAnalysisReport& report);
    // Picks or lets go of a row, as a click on it does.
    void toggle(int row);
    const std::vector<int>& picks() const { return picks_; }
    // Lets go of every pick without telling (another log is shown).
    void clearPicks();

    // "+0.40 (+12%)": a change with its percent (when known), two decimals.
    static QString changeText(double difference, bool hasPercent, double percent);

private:
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;
    void applyPicks();

    std::vector<int> picks_; // rows, in the order picked
    bool applying_ = false;
    PicksChanged picksChanged_;
};
