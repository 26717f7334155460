#pragma once

#include "ui/analysis/PlotPalette.h"

#include <QColor>
#include <QPointF>
#include <QString>
#include <QWidget>

#include <vector>

// One curve of a plot, in data coordinates.
struct PlotSeries {
    std::vector<QPointF> points;
    QColor colour;
    qreal width = 1.0;
    Qt::PenStyle style = Qt::SolidLine;
    bool dots = false; // a ring at each point instead of a line
    QString legend;    // empty: not in the legend
};

// A vertical line at x with a short label (a marker).
struct PlotMarkLine {
    double x = 0.0;
    QString label;
};

// A stretch of x shaded behind the curves, with a label at its foot.
struct PlotBand {
    double from = 0.0;
    double to = 0.0;
    QString label;
};

// A small x-y plot drawn with QPainter: title, axes with ticks at round values (the x axis linear or
// logarithmic), a light grid, the curves with a legend, marker lines and shaded stretches, or a message
// in place of the curves. Ranges fit the data unless set. The colours come from a PlotPalette. Keeps
// copies of what it draws. UI thread.
class PlotView : public QWidget {
    Q_OBJECT
public:
    explicit PlotView(QWidget* parent = nullptr);

    void setColours(const PlotPalette& palette);
    void setTitle(const QString& title);
    void setAxisTitles(const QString& x, const QString& y);
    void setLogX(bool logX);
    // Fixed x range; an empty range (lo >= hi) fits the data.
    void setXRange(double lo, double hi);
    void setSeries(std::vector<PlotSeries> series);
    void setMarks(std::vector<PlotMarkLine> marks);
    void setBands(std::vector<PlotBand> bands);
    // Shown in the middle instead of curves; empty to show the curves.
    void setMessage(const QString& message);
    // Everything but the colours and axis titles.
    void clearData();

    const QString& title() const { return title_; }
    const QString& message() const { return message_; }
    const std::vector<PlotSeries>& series() const { return series_; }
    // The rectangle the curves are drawn in.
    QRect plotArea() const;

    QSize sizeHint() const override { return QSize(460, 240); }
    QSize minimumSizeHint() const override { return QSize(200, 120); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Range {
        double lo = 0.0;
        double hi = 1.0;
    };
    // The ranges drawn: fixed or fitted to the data (x in log10 units on a logarithmic axis).
    void fit(Range& x, Range& y) const;
    double axisX(double x) const; // data x on the axis (log10 on a logarithmic axis)
    bool hasLegend() const;

    PlotPalette colours_ = PlotPalette::day();
    QString title_;
    QString xTitle_;
    QString yTitle_;
    bool logX_ = false;
    double fixedLo_ = 0.0;
    double fixedHi_ = 0.0;
    std::vector<PlotSeries> series_;
    std::vector<PlotMarkLine> marks_;
    std::vector<PlotBand> bands_;
    QString message_;
};
