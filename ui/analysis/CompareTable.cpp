#include "ui/analysis/CompareTable.h"

#include "model/analysis/LogComparison.h"

#include <QHeaderView>

#include <cmath>

namespace {

QTableWidgetItem* cell(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    item->setFlags(Qt::ItemIsEnabled);
    return item;
}

QString number(double value, int decimals) {
    if (!std::isfinite(value))
        return QStringLiteral("-");
    return QString::number(std::fabs(value) < 0.5 * std::pow(10.0, -decimals) ? 0.0 : value, 'f', decimals);
}

// (after - before) / before in percent, one decimal, with its sign; empty when before is 0 or unknown.
QString change(double before, double after) {
    if (!(before > 0.0) || !std::isfinite(after))
        return QString();
    const QString text = number(100.0 * (after - before) / before, 1);
    return (text.startsWith(QLatin1Char('-')) || text == QStringLiteral("0.0") ? text
                                                                               : QLatin1Char('+') + text) +
           QStringLiteral(" %");
}

} // namespace

CompareTable::CompareTable(QWidget* parent) : QTableWidget(0, 3, parent) {
    setObjectName(QStringLiteral("compareTable"));
    setHorizontalHeaderLabels({QStringLiteral("Before"), QStringLiteral("After"), QStringLiteral("Change")});
    horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFocusPolicy(Qt::NoFocus);
    setToolTip(QStringLiteral("Harmonics: BEFORE's strongest components, and AFTER's amplitude fitted at the "
                              "same period. Change is (after - before) / before."));
}

QSize CompareTable::sizeHint() const {
    return QSize(520, horizontalHeader()->sizeHint().height() + 10 * (fontMetrics().height() + 8) + 4);
}

void CompareTable::showComparison(const LogComparison& c) {
    struct Row {
        QString name;
        QString before, after, change;
    };
    std::vector<Row> rows;
    rows.push_back({QStringLiteral("PE p-p (\")"), number(c.before.peakToPeakArcsec, 3),
                    number(c.after.peakToPeakArcsec, 3),
                    change(c.before.peakToPeakArcsec, c.after.peakToPeakArcsec)});
    rows.push_back({QStringLiteral("PE RMS (\")"), number(c.before.rmsArcsec, 3),
                    number(c.after.rmsArcsec, 3), change(c.before.rmsArcsec, c.after.rmsArcsec)});
    if (c.wormPeriodSeconds > 0.0)
        rows.push_back({QStringLiteral("Worm period (s)"), number(c.wormPeriodSeconds, 2),
                        number(c.wormPeriodSeconds, 2), QString()});
    for (const ComparedHarmonic& h : c.harmonics)
        rows.push_back({QStringLiteral("%1 s (\")").arg(number(h.periodSeconds, 2)),
                        number(h.beforeArcsec, 3), number(h.afterArcsec, 3),
                        change(h.beforeArcsec, h.afterArcsec)});
    if (c.beforeFold.valid && c.afterFold.valid)
        rows.push_back({QStringLiteral("Mean worm cycle p-p (\")"),
                        number(c.beforeFold.meanPeakToPeakArcsec, 3),
                        number(c.afterFold.meanPeakToPeakArcsec, 3),
                        change(c.beforeFold.meanPeakToPeakArcsec, c.afterFold.meanPeakToPeakArcsec)});
    setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < rowCount(); ++r) {
        const Row& row = rows[static_cast<std::size_t>(r)];
        setVerticalHeaderItem(r, new QTableWidgetItem(row.name));
        setItem(r, BeforeColumn, cell(row.before));
        setItem(r, AfterColumn, cell(row.after));
        setItem(r, ChangeColumn, cell(row.change));
    }
}
