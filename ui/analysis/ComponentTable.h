#pragma once

#include <QTableWidget>

struct LogAnalysisReport;

// The strongest periodic components of the analysed log, strongest first, one row each: period (seconds
// with a time base, else samples), amplitude (half the peak-to-peak of that sinusoid, arc-seconds) and
// phase (degrees). Always five rows; those without a component stay empty. UI thread.
class ComponentTable : public QTableWidget {
    Q_OBJECT
public:
    static constexpr int kRows = 5;
    enum Column { PeriodColumn, AmplitudeColumn, PhaseColumn };

    explicit ComponentTable(QWidget* parent = nullptr);
    void showReport(const LogAnalysisReport& report);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
};
