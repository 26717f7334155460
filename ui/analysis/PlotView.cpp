#include "ui/analysis/PlotView.h"

#include "ui/analysis/PlotTicks.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kRightMargin = 10;
constexpr int kTickLength = 4;
constexpr double kMargin = 0.05; // of the value range, above and below the curves

QString tickText(double v, double step) {
    // As many decimals as the step needs, none for whole steps.
    const int decimals = step >= 1.0 ? 0 : std::min(6, static_cast<int>(std::ceil(-std::log10(step) - 1e-9)));
    if (std::fabs(v) >= 1e6 || (v != 0.0 && std::fabs(v) < 1e-4))
        return QString::number(v, 'g', 3);
    return QString::number(v, 'f', decimals);
}

QString logTickText(double v) {
    return QString::number(v, 'g', 4);
}

} // namespace

PlotView::PlotView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PlotView::setColours(const PlotPalette& palette) {
    colours_ = palette;
    update();
}

void PlotView::setTitle(const QString& title) {
    title_ = title;
    setToolTip(title); // whole, where the plot is too narrow for it
    update();
}

void PlotView::setAxisTitles(const QString& x, const QString& y) {
    xTitle_ = x;
    yTitle_ = y;
    update();
}

void PlotView::setLogX(bool logX) {
    logX_ = logX;
    update();
}

void PlotView::setXRange(double lo, double hi) {
    fixedLo_ = lo;
    fixedHi_ = hi;
    update();
}

void PlotView::setSeries(std::vector<PlotSeries> series) {
    series_ = std::move(series);
    update();
}

void PlotView::setMarks(std::vector<PlotMarkLine> marks) {
    marks_ = std::move(marks);
    update();
}

void PlotView::setBands(std::vector<PlotBand> bands) {
    bands_ = std::move(bands);
    update();
}

void PlotView::setMessage(const QString& message) {
    message_ = message;
    update();
}

void PlotView::clearData() {
    title_.clear();
    series_.clear();
    marks_.clear();
    bands_.clear();
    message_.clear();
    fixedLo_ = fixedHi_ = 0.0;
    update();
}

bool PlotView::hasLegend() const {
    return message_.isEmpty() && std::any_of(series_.begin(), series_.end(),
                                             [](const PlotSeries& s) { return !s.legend.isEmpty(); });
}

QRect PlotView::plotArea() const {
    const QFontMetrics fm(font());
    const int left = fm.horizontalAdvance(QStringLiteral("-000.00")) + kTickLength + 6 + fm.height();
    // The title line, and the legend's line under it, so that the legend covers no curve.
    const int top = fm.height() + 6 + (hasLegend() ? fm.height() + 2 : 0);
    const int bottom = 2 * fm.height() + kTickLength + 4;
    return QRect(left, top, std::max(1, width() - left - kRightMargin), std::max(1, height() - top - bottom));
}

double PlotView::axisX(double x) const {
    return logX_ ? std::log10(x) : x;
}

void PlotView::fit(Range& x, Range& y) const {
    double xlo = HUGE_VAL, xhi = -HUGE_VAL, ylo = HUGE_VAL, yhi = -HUGE_VAL;
    for (const PlotSeries& s : series_) {
        for (const QPointF& p : s.points) {
            if (!std::isfinite(p.x()) || !std::isfinite(p.y()) || (logX_ && !(p.x() > 0.0)))
                continue;
            xlo = std::min(xlo, axisX(p.x()));
            xhi = std::max(xhi, axisX(p.x()));
            ylo = std::min(ylo, p.y());
            yhi = std::max(yhi, p.y());
        }
    }
    if (fixedHi_ > fixedLo_ && (!logX_ || fixedLo_ > 0.0)) {
        xlo = axisX(fixedLo_);
        xhi = axisX(fixedHi_);
    }
    if (!(xhi > xlo)) {
        xlo = std::isfinite(xlo) ? xlo - 0.5 : 0.0;
        xhi = xlo + 1.0;
    }
    if (!(yhi > ylo)) {
        const double centre = std::isfinite(ylo) ? ylo : 0.0;
        ylo = centre - 1.0;
        yhi = centre + 1.0;
    } else {
        const double pad = (yhi - ylo) * kMargin;
        ylo -= pad;
        yhi += pad;
    }
    x = {xlo, xhi};
    y = {ylo, yhi};
}

void PlotView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), colours_.background);
    const QFontMetrics fm(font());
    const QRect area = plotArea();
    Range xr, yr;
    fit(xr, yr);
    auto px = [&](double axisValue) {
        return area.left() + (axisValue - xr.lo) / (xr.hi - xr.lo) * area.width();
    };
    auto py = [&](double v) { return area.bottom() - (v - yr.lo) / (yr.hi - yr.lo) * area.height(); };

    // Title, and the legend at the right of the title line.
    painter.setPen(colours_.text);
    painter.drawText(QRect(area.left(), 2, area.width(), fm.height()), Qt::AlignLeft | Qt::AlignVCenter,
                     fm.elidedText(title_, Qt::ElideRight, area.width()));

    // Grid and ticks.
    const bool haveCurves = message_.isEmpty() && !series_.empty();
    const int maxXTicks = std::max(2, area.width() / (fm.horizontalAdvance(QStringLiteral("00000")) + 12));
    const int maxYTicks = std::max(2, area.height() / (2 * fm.height()));
    std::vector<double> xTicks = logX_ ? logTicks(std::pow(10.0, xr.lo), std::pow(10.0, xr.hi), maxXTicks)
                                       : linearTicks(xr.lo, xr.hi, maxXTicks);
    const std::vector<double> yTicks = linearTicks(yr.lo, yr.hi, maxYTicks);
    const double yStep = roundStep(yr.hi - yr.lo, maxYTicks);
    const double xStep = roundStep(xr.hi - xr.lo, maxXTicks);
    for (double v : yTicks) {
        const int y = static_cast<int>(std::lround(py(v)));
        painter.setPen(colours_.grid);
        painter.drawLine(area.left() + 1, y, area.right(), y);
        painter.setPen(colours_.frame);
        painter.drawLine(area.left() - kTickLength, y, area.left(), y);
        painter.setPen(colours_.text);
        painter.drawText(QRect(0, y - fm.height() / 2, area.left() - kTickLength - 3, fm.height()),
                         Qt::AlignRight | Qt::AlignVCenter, tickText(v, yStep));
    }
    int lastLabelRight = -1000;
    for (double v : xTicks) {
        const int x = static_cast<int>(std::lround(px(logX_ ? std::log10(v) : v)));
        painter.setPen(colours_.grid);
        painter.drawLine(x, area.top(), x, area.bottom() - 1);
        painter.setPen(colours_.frame);
        painter.drawLine(x, area.bottom(), x, area.bottom() + kTickLength);
        const QString text = logX_ ? logTickText(v) : tickText(v, xStep);
        const int w = fm.horizontalAdvance(text);
        if (x - w / 2 > lastLabelRight + 4 && x + w / 2 <= width()) {
            painter.setPen(colours_.text);
            painter.drawText(QRect(x - w / 2 - 2, area.bottom() + kTickLength + 1, w + 4, fm.height()),
                             Qt::AlignCenter, text);
            lastLabelRight = x + w / 2;
        }
    }
    // Axis titles: x under the tick labels, y turned up along the left edge.
    painter.setPen(colours_.text);
    painter.drawText(
        QRect(area.left(), area.bottom() + kTickLength + fm.height() + 2, area.width(), fm.height()),
        Qt::AlignCenter, xTitle_);
    painter.save();
    painter.translate(2, area.center().y());
    painter.rotate(-90);
    painter.drawText(QRect(-area.height() / 2, 0, area.height(), fm.height()), Qt::AlignCenter, yTitle_);
    painter.restore();

    painter.setClipRect(area.adjusted(1, 0, 0, -1));
    painter.setRenderHint(QPainter::Antialiasing, true);
    if (haveCurves) {
        for (const PlotBand& b : bands_) {
            const double left = px(axisX(b.from));
            const double right = px(axisX(b.to));
            painter.fillRect(QRectF(left, area.top(), std::max(1.0, right - left), area.height()),
                             colours_.band);
            painter.setPen(colours_.text);
            // At the foot of the stretch: the marker labels take the top.
            painter.drawText(QRectF(left + 3, area.bottom() - fm.height() - 2,
                                    std::max(1.0, right - left - 6), fm.height()),
                             Qt::AlignLeft | Qt::AlignVCenter, b.label);
        }
        for (const PlotSeries& s : series_) {
            QPen pen(s.colour, s.width, s.style);
            pen.setCapStyle(Qt::FlatCap);
            painter.setPen(pen);
            painter.setBrush(Qt::NoBrush);
            if (s.dots) {
                for (const QPointF& p : s.points) {
                    if (!logX_ || p.x() > 0.0)
                        painter.drawEllipse(QPointF(px(axisX(p.x())), py(p.y())), 3.5, 3.5);
                }
                continue;
            }
            QPainterPath path;
            bool started = false;
            for (const QPointF& p : s.points) {
                if (!std::isfinite(p.y()) || (logX_ && !(p.x() > 0.0)))
                    continue;
                const QPointF at(px(axisX(p.x())), py(p.y()));
                if (started)
                    path.lineTo(at);
                else
                    path.moveTo(at);
                started = true;
            }
            painter.drawPath(path);
        }
        int labelY = area.top() + fm.height() + 2;
        for (const PlotMarkLine& m : marks_) {
            const double x = px(axisX(m.x));
            painter.setPen(QPen(colours_.mark, 1.0, Qt::DashLine));
            painter.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
            painter.setPen(colours_.mark);
            painter.drawText(QPointF(x + 3, labelY), m.label);
            // Neighbouring labels take turns in three rows so that they do not cover each other.
            labelY = labelY >= area.top() + 3 * (fm.height() + 2) ? area.top() + fm.height() + 2
                                                                  : labelY + fm.height() + 2;
        }
    }
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setClipping(false);
    if (!message_.isEmpty()) {
        painter.setPen(colours_.text);
        painter.drawText(area.adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap, message_);
    }

    // The legend, on its line above the plot, from the right.
    int legendRight = area.right();
    const int legendY = fm.height() + 4;
    if (hasLegend()) {
        for (auto s = series_.rbegin(); s != series_.rend(); ++s) {
            if (s->legend.isEmpty())
                continue;
            const int w = fm.horizontalAdvance(s->legend);
            const int x = legendRight - w - 24;
            painter.setPen(QPen(s->colour, std::max<qreal>(1.5, s->width), s->style));
            if (s->dots)
                painter.drawEllipse(QPointF(x + 10, legendY + fm.height() / 2.0), 3.5, 3.5);
            else
                painter.drawLine(x, legendY + fm.height() / 2, x + 20, legendY + fm.height() / 2);
            painter.setPen(colours_.text);
            painter.drawText(QRect(x + 24, legendY, w + 2, fm.height()), Qt::AlignLeft | Qt::AlignVCenter,
                             s->legend);
            legendRight = x - 14;
        }
    }

    // The frame last, over everything.
    painter.setPen(colours_.frame);
    painter.drawLine(area.bottomLeft(), area.bottomRight());
    painter.drawLine(area.bottomLeft(), area.topLeft());
}
