#include "ui/analysis/ComponentTable.h"

#include "model/analysis/LogAnalysisReport.h"

#include <QHeaderView>

#include <cmath>

namespace {

QTableWidgetItem* cell(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    item->setFlags(Qt::ItemIsEnabled);
    return item;
}

} // namespace

ComponentTable::ComponentTable(QWidget* parent) : QTableWidget(kRows, 3, parent) {
    setHorizontalHeaderLabels(
        {QStringLiteral("Period (s)"), QStringLiteral("Amplitude (\")"), QStringLiteral("Phase (°)")});
    // Every column as wide as its title and figures, the last one taking the room left.
    horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    horizontalHeader()->setStretchLastSection(true);
    verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFocusPolicy(Qt::NoFocus);
    setToolTip(QStringLiteral("Amplitude is half the peak-to-peak of the sinusoid; phase is that of "
                              "A sin(2 pi t / P + phase) with t = 0 at the first sample."));
}

QSize ComponentTable::minimumSizeHint() const {
    // Never narrower than its columns' titles (measured now, with the font and style in use).
    int width = verticalHeader()->sizeHint().width() + 2 * frameWidth() + 4;
    for (int column = 0; column < columnCount(); ++column)
        width += horizontalHeader()->sectionSizeHint(column);
    return QSize(width, QTableWidget::minimumSizeHint().height());
}

QSize ComponentTable::sizeHint() const {
    return QSize(300, horizontalHeader()->sizeHint().height() + kRows * (fontMetrics().height() + 8) + 4);
}

void ComponentTable::showReport(const LogAnalysisReport& report) {
    const bool time = report.hasTime();
    horizontalHeaderItem(PeriodColumn)
        ->setText(time ? QStringLiteral("Period (s)") : QStringLiteral("Period (samples)"));
    const std::vector<PeComponent>& components = report.whole.components;
    for (int row = 0; row < kRows; ++row) {
        if (static_cast<std::size_t>(row) >= components.size()) {
            for (int column = 0; column < 3; ++column)
                setItem(row, column, cell(QString()));
            continue;
        }
        const PeComponent& c = components[static_cast<std::size_t>(row)];
        double phase = std::round(c.phaseDeg * 10.0) / 10.0;
        if (phase >= 360.0)
            phase -= 360.0;
        setItem(row, PeriodColumn, cell(QString::number(time ? c.periodSeconds : c.periodSamples, 'f', 2)));
        setItem(row, AmplitudeColumn, cell(QString::number(c.amplitudeArcsec, 'f', 3)));
        setItem(row, PhaseColumn, cell(QString::number(phase, 'f', 1)));
    }
}
