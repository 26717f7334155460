#include "ui/analysis/SegmentTable.h"

#include "model/analysis/LogAnalysisReport.h"

#include <QHeaderView>

#include <algorithm>
#include <cmath>

namespace {

QTableWidgetItem* cell(const QString& text, Qt::Alignment align = Qt::AlignRight) {
    auto* item = new QTableWidgetItem(text);
    item->setTextAlignment(align | Qt::AlignVCenter);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}

QString signedNumber(double v, int decimals) {
    const double shown = std::fabs(v) < 0.5 * std::pow(10.0, -decimals) ? 0.0 : v;
    return (shown > 0.0 ? QStringLiteral("+") : QString()) + QString::number(shown, 'f', decimals);
}

} // namespace

SegmentTable::SegmentTable(QWidget* parent) : QTableWidget(0, kColumns, parent) {
    setHorizontalHeaderLabels({QStringLiteral("Starts at"), QStringLiteral("Samples"),
                               QStringLiteral("P-P (\")"), QStringLiteral("RMS (\")"),
                               QStringLiteral("Period (s)"), QStringLiteral("P-P change"),
                               QStringLiteral("RMS change")});
    // Every column as wide as what it shows (a narrow window scrolls the table rather than cut the
    // labels); the last one takes the room left.
    horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    horizontalHeader()->setStretchLastSection(true);
    verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    setWordWrap(false); // a long marker label is cut, one line a stretch
    setTextElideMode(Qt::ElideRight);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::MultiSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setToolTip(QStringLiteral("The stretches between markers. Pick two to lay their spectra and folded "
                              "curves over each other. Changes are against the stretch before."));
}

QString SegmentTable::changeText(double difference, bool hasPercent, double percent) {
    QString text = signedNumber(difference, 2);
    if (hasPercent)
        text += QStringLiteral(" (") + signedNumber(percent, 0) + QStringLiteral("%)");
    return text;
}

void SegmentTable::showReport(const LogAnalysisReport& report) {
    const bool time = report.hasTime();
    horizontalHeaderItem(PeriodColumn)
        ->setText(time ? QStringLiteral("Period (s)") : QStringLiteral("Period (samples)"));
    applying_ = true;
    const int rows = static_cast<int>(report.segments.size());
    setRowCount(rows);
    const QString none = QStringLiteral("--");
    for (int row = 0; row < rows; ++row) {
        const SegmentFigures& s = report.segments[static_cast<std::size_t>(row)];
        setItem(row, StartColumn,
                cell(s.label.empty() ? (row == 0 ? QStringLiteral("start") : QStringLiteral("(mark)"))
                                     : QString::fromStdString(s.label),
                     Qt::AlignLeft));
        setItem(row, SamplesColumn, cell(QString::number(s.last - s.first)));
        setItem(row, PeakToPeakColumn, cell(s.valid ? QString::number(s.peakToPeakArcsec, 'f', 2) : none));
        setItem(row, RmsColumn, cell(s.valid ? QString::number(s.rmsArcsec, 'f', 2) : none));
        setItem(row, PeriodColumn,
                cell(s.hasPeriod
                         ? QString::number(time ? s.dominantPeriodSeconds : s.dominantPeriodSamples, 'f', 1)
                         : none));
        setItem(row, PeakToPeakChangeColumn,
                cell(s.hasChange ? changeText(s.peakToPeakChange, s.hasPercent, s.peakToPeakChangePercent)
                                 : none));
        setItem(row, RmsChangeColumn,
                cell(s.hasChange ? changeText(s.rmsChange, s.hasPercent, s.rmsChangePercent) : none));
    }
    applying_ = false;
    const std::size_t before = picks_.size();
    picks_.erase(std::remove_if(picks_.begin(), picks_.end(), [rows](int r) { return r >= rows; }),
                 picks_.end());
    applyPicks();
    if (picks_.size() != before && picksChanged_)
        picksChanged_(picks_.size() > 0 ? picks_[0] : -1, picks_.size() > 1 ? picks_[1] : -1);
}

void SegmentTable::toggle(int row) {
    if (row < 0 || row >= rowCount())
        return;
    const auto at = std::find(picks_.begin(), picks_.end(), row);
    if (at != picks_.end())
        picks_.erase(at);
    else
        picks_.push_back(row);
    if (picks_.size() > 2)
        picks_.erase(picks_.begin());
    applyPicks();
    if (picksChanged_)
        picksChanged_(picks_.size() > 0 ? picks_[0] : -1, picks_.size() > 1 ? picks_[1] : -1);
}

void SegmentTable::clearPicks() {
    picks_.clear();
    applyPicks();
}

void SegmentTable::applyPicks() {
    applying_ = true;
    clearSelection();
    for (int row : picks_)
        selectionModel()->select(model()->index(row, 0),
                                 QItemSelectionModel::Select | QItemSelectionModel::Rows);
    applying_ = false;
}

void SegmentTable::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) {
    QTableWidget::selectionChanged(selected, deselected);
    if (applying_)
        return;
    // A click: the rows it picked or let go of, in the table's own terms.
    std::vector<int> rows;
    for (const QModelIndex& index : selected.indexes())
        rows.push_back(index.row());
    for (const QModelIndex& index : deselected.indexes())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    for (int row : rows)
        toggle(row);
}
