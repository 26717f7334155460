#pragma once

#include <QTableWidget>

struct LogComparison;

// Two logs compared, as astrelvo-cli compare prints them: p-p and RMS of each with the change in percent,
// the worm period both are folded on, BEFORE's strongest components with AFTER's amplitude at the same
// periods, and the p-p of each mean worm cycle. Columns Before, After, Change. UI thread.
class CompareTable : public QTableWidget {
    Q_OBJECT
public:
    enum Column { BeforeColumn, AfterColumn, ChangeColumn };

    explicit CompareTable(QWidget* parent = nullptr);
    void showComparison(const LogComparison& comparison);

    QSize sizeHint() const override;
};
