#include "ui/graph/EncoderGraph.h"

#include "base/TextFormat.h"
#include "model/analysis/PeAnalysis.h"
#include "model/store/AppModel.h"
#include "ui/graph/GraphPen.h"
#include "ui/graph/HoverText.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

struct ScaleEntry {
    int labelStep;   // pixels between two labels
    int labelArcsec; // arc-seconds between two labels
};

constexpr ScaleEntry kScales[] = {
    {20, 1}, {20, 2}, {25, 5}, {20, 10}, {20, 20}, {20, 40}, {20, 100}, {20, 600}, {20, 2400}, {20, 7200},
};
constexpr ScaleEntry kScaleBeyondTable = {10, 3600};

// Scaled values further from the zero line than this are pulled in before they become pixels; the line
// drawing clips them to the picture anyway.
constexpr double kPixelLimit = 1099511627776.0; // 2^40

// Marker labels sit in three rows at the top of the plot, so that close marks do not write over each other.
constexpr int kMarkerLabelRows = 3;
constexpr int kMarkerLabelMaxChars = 40;

QFont makeLabelFont() {
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    // Weight 100, thin; a family without a thin face gives its lightest one.
    font.setWeight(QFont::Thin);
    // The label cell is 14 pixels high, and a label such as +3'20" must fit the 37 pixels left of its
    // tick. Where Arial is missing a wider face stands in for it; then a condensed width of it is used.
    const QString typical = QStringLiteral("+3'20\"");
    for (int stretch : {100, 87, 75}) {
        font.setStretch(stretch);
        for (int size = 14; size >= 10; --size) {
            font.setPixelSize(size);
            const QFontMetrics metrics(font);
            if (metrics.height() <= 14 && metrics.horizontalAdvance(typical) <= EncoderGraph::kLeftMargin - 9)
                return font;
        }
    }
    font.setStretch(100);
    font.setPixelSize(12);
    return font;
}

int clampToInt(int64_t v, int low, int high) {
    return static_cast<int>(std::clamp<int64_t>(v, low, high));
}

} // namespace

EncoderGraph::EncoderGraph(AppModel* model, QWidget* parent)
    : QWidget(parent), model_(model), series_(model), colorScheme_(model->displaySettings.colorScheme),
      verticalOffset_(model->displaySettings.verticalOffset), scaleIndex_(model->displaySettings.scaleIndex),
      axis_(model->displaySettings.timeAxis), autoScale_(model->displaySettings.autoScale),
      centre_(model->displaySettings.centre), axisPen_(axisColour()), centreLinePen_(centreLineColour()),
      curvePen_(curveColour()), labelColour_(labelTextColour()), gridColour_(gridColour()),
      markerPen_(markerColour()), labelFont_(makeLabelFont()), readout_(labelFont_) {
    // The whole picture comes from the backing image: no background erase is needed.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setScale(scaleIndex_);
}

EncoderGraph::~EncoderGraph() = default;

void EncoderGraph::setEncoderBits(int bits) {
    encoderBits_ = bits;
    series_.setEncoderBits(bits);
    if (autoScale_)
        fitStale_ = true;
}

void EncoderGraph::setScale(int index) {
    scaleIndex_ = index;
    fitStale_ = true;
    const ScaleEntry& entry =
        (index >= 0 && index < static_cast<int>(std::size(kScales))) ? kScales[index] : kScaleBeyondTable;
    labelStep_ = entry.labelStep;
    labelArcsec_ = entry.labelArcsec;

    // Encoder counts per arc-second: 2^bits / 1296000, to the digits the controller's tools use.
    double countsPerArcsec = 0.0;
    switch (encoderBits_) {
    case 32:
        countsPerArcsec = 3314.018;
        break;
    case 29:
        countsPerArcsec = 414.2522;
        break;
    case 25:
        countsPerArcsec = 25.89;
        break;
    default:
        return; // another width keeps the previous vertical scale
    }
    pixelsPerCount_ = static_cast<double>(labelStep_) / (static_cast<double>(labelArcsec_) * countsPerArcsec);
}

void EncoderGraph::setTimeAxis(TimeAxis axis) {
    axis_ = axis;
    fitStale_ = true;
}

void EncoderGraph::setAutoScale(bool on) {
    autoScale_ = on;
    fitStale_ = true;
}

void EncoderGraph::setCentre(bool on) {
    centre_ = on;
    fitStale_ = true;
}

void EncoderGraph::setLiveLogRate(int logRateIndex) {
    const double hz = peLogRateHz(logRateIndex);
    series_.setLiveSampleSeconds(hz > 0.0 ? 1.0 / hz : 0.0);
}

void EncoderGraph::showLog(const LogSeries& log, TimeAxis axis) {
    series_.showLog(log);
    axis_ = axis;
    fitStale_ = true; // another unit, other values
    markers_.clear();
    invalidate();
}

void EncoderGraph::showLive(TimeAxis axis) {
    series_.showLive();
    axis_ = axis;
    fitStale_ = true;
    markers_.clear();
    invalidate();
}

void EncoderGraph::setMarkers(std::vector<GraphMarker> markers) {
    markers_ = std::move(markers);
    std::stable_sort(markers_.begin(), markers_.end(),
                     [](const GraphMarker& a, const GraphMarker& b) { return a.sample < b.sample; });
    if (!ensureImage())
        return;
    paintFull();
    update();
}

void EncoderGraph::applyGeometry(int width, int height) {
    const int oldWidth = plotWidth_;
    const int oldHeight = plotHeight_;
    leftMargin_ = kLeftMargin;
    clientWidth_ = width;
    plotWidth_ = width > kLeftMargin ? width - kLeftMargin : 0;
    if (height > 33) {
        plotHeight_ = height - 31;
        zeroY_ = (height - 31) / 2;
    } else {
        plotHeight_ = 0;
        zeroY_ = 0;
    }
    if (plotWidth_ != oldWidth || plotHeight_ != oldHeight)
        fitStale_ = true;
}

bool EncoderGraph::ensureImage() {
    if (width() <= 0 || height() <= 0)
        return false;
    if (firstPaint_) {
        applyGeometry(width(), height());
        firstPaint_ = false;
    }
    const qreal ratio = devicePixelRatioF();
    const QSize deviceSize(static_cast<int>(std::ceil(width() * ratio)),
                           static_cast<int>(std::ceil(height() * ratio)));
    if (image_.isNull() || image_.size() != deviceSize || image_.devicePixelRatio() != ratio) {
        // A hidden widget gets its resize event late; the picture follows the size it has now.
        applyGeometry(width(), height());
        image_ = QImage(deviceSize, QImage::Format_RGB32);
        image_.setDevicePixelRatio(ratio);
        paintFull();
    }
    return true;
}

void EncoderGraph::resizeEvent(QResizeEvent* event) {
    applyGeometry(event->size().width(), event->size().height());
    image_ = QImage();
    ensureImage();
    if (cursorInside_)
        updateHover(cursor_);
}

void EncoderGraph::paintEvent(QPaintEvent* event) {
    if (!ensureImage())
        return;
    QPainter painter(this);
    const QRect area = event->rect();
    const qreal ratio = image_.devicePixelRatio();
    const QRectF source(area.x() * ratio, area.y() * ratio, area.width() * ratio, area.height() * ratio);
    painter.drawImage(QRectF(area), image_, source);
    const QColor background = colorScheme() == 0 ? QColor(Qt::black) : QColor(Qt::white);
    // Over the picture, so that the curve scrolls beneath it: what the zero line stands for.
    const QString note = zeroLineNote();
    if (!note.isEmpty())
        readout_.paintNote(painter, zeroLineNoteBox(note), note, background);
    readout_.paint(painter, size(), background);
}

void EncoderGraph::invalidate() {
    // The data changed: the column summaries start again.
    columns_.clear();
    if (!ensureImage())
        return;
    paintFull();
    update();
    if (cursorInside_)
        updateHover(cursor_);
}

void EncoderGraph::repaint() {
    if (!ensureImage())
        return;
    paintFull();
    if (cursorInside_)
        updateHover(cursor_);
    QWidget::repaint();
}

int64_t EncoderGraph::valueY(double v) const {
    double scaled = (v - mapping_.base) * mapping_.pixelsPerUnit;
    if (std::isnan(scaled))
        scaled = 0.0;
    scaled = std::clamp(scaled, -kPixelLimit, kPixelLimit);
    return int64_t{zeroY_} - int64_t{mapping_.offset} + static_cast<int64_t>(std::trunc(scaled));
}

VerticalFit::Choice EncoderGraph::fitChoice() const {
    VerticalFit::Choice choice;
    choice.autoScale = fitsScale();
    choice.centre = centres();
    choice.fixedLabelStep = labelStep_;
    choice.fixedLabelArcsec = labelArcsec_;
    // The live store holds encoder counts, a log arc-seconds.
    choice.fixedPixelsPerUnit = series_.isLive() ? pixelsPerCount_ : double(labelStep_) / labelArcsec_;
    choice.verticalOffset = verticalOffset_;
    choice.arcsecPerUnit = series_.arcsecPerUnit();
    choice.zeroY = zeroY_;
    choice.plotHeight = plotHeight_;
    return choice;
}

VisibleCurve EncoderGraph::visibleCurve(uint64_t count) const {
    VisibleCurve curve;
    if (layout_.spans() && columns_.columns() > 0 &&
        columns_.folded() == std::min(count, columns_.capacity())) {
        const ColumnCache::Column all = columns_.total();
        curve.min = all.min;
        curve.max = all.max;
        curve.count = all.count;
        curve.mean = all.count > 0 ? all.sum / static_cast<double>(all.count) : 0.0;
        return curve;
    }
    const auto width = static_cast<uint64_t>(plotWidth_);
    uint64_t begin = 0;
    uint64_t end = count;
    if (axis_ == TimeAxis::SamplePerPixel)
        end = std::min(count, width);
    else if (axis_ == TimeAxis::FollowNewest)
        begin = count > width ? count - width : 0;
    double sum = 0.0;
    for (uint64_t i = begin; i < end; ++i) {
        const double v = series_.value(i);
        if (!std::isfinite(v))
            continue;
        curve.min = curve.count == 0 ? v : std::min(curve.min, v);
        curve.max = curve.count == 0 ? v : std::max(curve.max, v);
        sum += v;
        ++curve.count;
    }
    curve.mean = curve.count > 0 ? sum / static_cast<double>(curve.count) : 0.0;
    return curve;
}

void EncoderGraph::prepareLayout(uint64_t count) {
    layout_.update(axis_, plotWidth_, count, series_.isLive(), AppModel::kMaxSamples);
    if (layout_.spans()) {
        if (!columns_.matches(layout_.capacity(), plotWidth_) || columns_.folded() > count)
            columns_.reset(layout_.capacity(), plotWidth_);
        columns_.fold(series_, count);
    }
    const VerticalFit::Choice choice = fitChoice();
    const bool fitted = fitsScale() || centres();
    const VisibleCurve curve = fitted ? visibleCurve(count) : VisibleCurve{};
    if (fitStale_ || !fitted || VerticalFit::needsRefit(mapping_, choice, curve)) {
        mapping_ = VerticalFit::map(choice, curve);
        fitStale_ = false;
    }
}

bool EncoderGraph::fitLabelMargin() {
    // The widest label the scale will draw (the loops of paintFull), so that none is cut at the left.
    const QFontMetrics metrics(labelFont_);
    const int step = std::max(1, mapping_.labelStep);
    int widest = 0;
    auto measure = [&](int64_t v) {
        char text[64];
        appendAngle(text, sizeof text, 0, static_cast<int>(std::clamp<int64_t>(v, -2147483647, 2147483647)));
        widest = std::max(widest, metrics.horizontalAdvance(QString::fromLatin1(text)));
    };
    int64_t value = 0;
    for (int y = zeroY_; y > 14; y -= step, value -= mapping_.labelArcsec)
        measure(value);
    value = mapping_.labelArcsec;
    for (int y = zeroY_ + step; y < plotHeight_ - 14; y += step, value += mapping_.labelArcsec)
        measure(value);
    // The text ends 8 pixels left of the axis and keeps 2 pixels from the edge.
    const int margin = std::clamp(widest + 10, kLeftMargin, std::max(kLeftMargin, clientWidth_ / 3));
    if (margin == leftMargin_)
        return false;
    leftMargin_ = margin;
    plotWidth_ = clientWidth_ > leftMargin_ ? clientWidth_ - leftMargin_ : 0;
    fitStale_ = true;
    return true;
}

void EncoderGraph::paintBackground(QPainter& painter, GraphPen& pen, const QRect& columns) {
    const QRect area = columns & QRect(leftMargin_, 0, plotWidth_, height());
    if (area.isEmpty())
        return;
    painter.fillRect(area, colorScheme() == 0 ? Qt::black : Qt::white);
    const QRect clip = pen.clip();
    pen.setClip(area);
    pen.moveTo(leftMargin_ - 1, plotHeight_);
    pen.lineTo(axisPen_, leftMargin_ + plotWidth_, plotHeight_);
    pen.moveTo(leftMargin_, zeroY_);
    pen.lineTo(centreLinePen_, clientWidth_, zeroY_);

    // Grid dots every 10 pixels from the zero line; their columns move with the samples when the picture
    // scrolls, so that a scrolled picture equals a fresh one.
    const int phase = static_cast<int>(layout_.first() % 10);
    int x0 = area.left() + ((10 - (area.left() - leftMargin_ + phase) % 10) % 10);
    auto gridRow = [&](int y) {
        for (int x = x0; x <= area.right(); x += 10)
            painter.fillRect(QRect(x, y, 1, 1), gridColour_);
    };
    for (int y = zeroY_ + 10; y < plotHeight_; y += 10)
        gridRow(y);
    for (int y = zeroY_ - 10; y > 0; y -= 10)
        gridRow(y);
    pen.setClip(clip);
}

void EncoderGraph::drawLabel(QPainter& painter, GraphPen& pen, int y, int arcseconds) {
    pen.moveTo(leftMargin_ - 5, y);
    pen.lineTo(axisPen_, leftMargin_ - 1, y);

    char text[64];
    appendAngle(text, sizeof text, 0, arcseconds);
    painter.setPen(labelColour_);
    // Right-aligned: the text ends at leftMargin - 8, its top at y - 6.
    const int right = leftMargin_ - 8;
    painter.drawText(QRect(right - 400, y - 6, 400, 64), Qt::AlignRight | Qt::AlignTop,
                     QString::fromLatin1(text));
}

QRect EncoderGraph::drawMarkers(QPainter& painter, uint64_t from, uint64_t to, const QRect& clip) {
    const QRect area = clip & QRect(leftMargin_, 0, plotWidth_, height());
    QRect painted;
    if (area.isEmpty() || markers_.empty())
        return painted;
    const uint64_t count = series_.count();
    const uint64_t shownEnd = layout_.visibleEnd(count);
    const QFontMetrics metrics(labelFont_);
    const int plotRight = leftMargin_ + plotWidth_ - 1;
    painter.save();
    painter.setClipRect(area);
    painter.setFont(labelFont_);
    painter.setPen(labelColour_);
    painter.setBackgroundMode(Qt::TransparentMode);
    for (size_t k = 0; k < markers_.size(); ++k) {
        const GraphMarker& marker = markers_[k];
        if (marker.sample < from || marker.sample >= to || marker.sample >= shownEnd)
            continue;
        const int64_t x = sampleX(marker.sample);
        QString label = QString::fromStdString(marker.label);
        if (label.size() > kMarkerLabelMaxChars)
            label = label.left(kMarkerLabelMaxChars - 1) + QChar(0x2026);
        const int textWidth = metrics.horizontalAdvance(label);
        if (x > area.right() + textWidth + 6 || x + textWidth + 6 < area.left())
            continue;
        // A dotted line through the plot, and the label to the right of its top; to its left where the
        // plot ends first, except when following the newest sample, where the rest of the label scrolls
        // in with the samples after the mark.
        const int column = static_cast<int>(x);
        const int row = static_cast<int>(k % kMarkerLabelRows);
        QRect text(column + 3, 2 + 14 * row, textWidth + 2, 16);
        if (axis_ != TimeAxis::FollowNewest && text.right() > plotRight &&
            column - 3 - textWidth > leftMargin_)
            text.moveRight(column - 2);
        if (!text.intersects(area) && (column < area.left() || column > area.right()))
            continue;
        for (int y = 0; y < plotHeight_; y += 2)
            painter.fillRect(QRect(column, y, 1, 1), markerPen_);
        painter.drawText(text, Qt::AlignLeft | Qt::AlignTop, label);
        painted |= (QRect(column, 0, 1, plotHeight_) | text) & area;
    }
    painter.restore();
    return painted;
}

void EncoderGraph::drawCurve(GraphPen& pen, uint64_t from, uint64_t to) {
    if (from >= to)
        return;
    // The stretch joins the curve before it.
    uint64_t i = from;
    if (from >= 1) {
        pen.moveTo(sampleX(from - 1), sampleY(from - 1));
    } else {
        pen.moveTo(sampleX(0), sampleY(0));
        i = 1;
    }
    for (; i < to; ++i)
        pen.lineTo(curvePen_, sampleX(i), sampleY(i));
}

void EncoderGraph::drawSpans(GraphPen& pen, int fromColumn, int toColumn) {
    const int low = -1;
    const int high = height() + 1;
    for (int c = std::max(0, fromColumn); c <= toColumn && c < columns_.columns(); ++c) {
        const ColumnCache::Column& column = columns_.column(c);
        if (column.count == 0)
            continue;
        int64_t top = valueY(column.min);
        int64_t bottom = valueY(column.max);
        // Each column reaches back to where the column before it ended, so the curve stays joined.
        if (c > 0 && columns_.column(c - 1).count > 0) {
            const int64_t previous = valueY(columns_.column(c - 1).last);
            top = std::min(top, previous);
            bottom = std::max(bottom, previous);
        }
        const int y0 = clampToInt(top, low, high);
        const int y1 = clampToInt(bottom, low, high);
        pen.fill(curvePen_, QRect(leftMargin_ + c, y0, 1, y1 - y0 + 1));
    }
}

QRect EncoderGraph::drawFullNotice(QPainter& painter) {
    const QFontMetrics metrics(labelFont_);
    const QString text = metrics.elidedText(fullNoticeText(), Qt::ElideRight, std::max(0, plotWidth_ - 12));
    noticeShown_ = true;
    if (text.isEmpty() || plotWidth_ < 40 || plotHeight_ < 20)
        return QRect();
    QRect box = readout_.noteBox(QPoint(0, 3), text);
    box.moveRight(clientWidth_ - 5);
    readout_.paintNote(painter, box, text, colorScheme() == 0 ? Qt::black : Qt::white);
    return box;
}

void EncoderGraph::drawHead(GraphPen& pen, uint64_t count) {
    // Lines leave out their end point; the newest sample's own pixel is drawn too.
    if (count == 0)
        return;
    pen.fill(curvePen_, QRect(clampToInt(sampleX(count - 1), -1, width()),
                              clampToInt(sampleY(count - 1), -1, height()), 1, 1));
}

void EncoderGraph::paintFull() {
    if (image_.isNull())
        return;
    const uint64_t count = series_.count();
    prepareLayout(count);
    // A wider margin for the labels changes the plot's width: lay it out again (at most twice, the
    // second scale's labels being as wide).
    for (int pass = 0; pass < 2 && fitLabelMargin(); ++pass)
        prepareLayout(count);

    QPainter painter(&image_);
    GraphPen pen(painter, QRect(0, 0, width(), height()));
    const QColor background = colorScheme() == 0 ? QColor(Qt::black) : QColor(Qt::white);

    // The left margin with the scale; the plot area follows.
    painter.fillRect(QRect(0, 0, std::min(leftMargin_, width()), height()), background);
    if (clientWidth_ < width())
        painter.fillRect(QRect(clientWidth_, 0, width() - clientWidth_, height()), background);
    pen.setClip(QRect(0, 0, leftMargin_, height()));
    pen.moveTo(leftMargin_ - 1, 0);
    pen.lineTo(axisPen_, leftMargin_ - 1, plotHeight_);
    pen.lineTo(axisPen_, leftMargin_ + plotWidth_, plotHeight_);
    pen.setClip(QRect(0, 0, width(), height()));

    painter.setFont(labelFont_);
    painter.setPen(labelColour_);
    painter.setBackgroundMode(Qt::TransparentMode);
    painter.drawText(QRect(4, 2, 400, 64), Qt::AlignLeft | Qt::AlignTop, QStringLiteral("Fast"));
    painter.drawText(QRect(4, plotHeight_ - 12, 400, 64), Qt::AlignLeft | Qt::AlignTop,
                     QStringLiteral("Slow"));

    // Labels on and above the zero line, then below it; the loops are bounded by the picture's height,
    // and the values are kept inside 32 bits. A larger value is drawn lower (towards "Slow"), so the
    // labels count down above the zero line and up below it, and a point reads as the value it has.
    const int step = std::max(1, mapping_.labelStep);
    int64_t value = 0;
    auto label = [&](int y, int64_t v) {
        drawLabel(painter, pen, y, static_cast<int>(std::clamp<int64_t>(v, -2147483647, 2147483647)));
    };
    for (int y = zeroY_; y > 14; y -= step) {
        label(y, value);
        value -= mapping_.labelArcsec;
    }
    value = int64_t{mapping_.labelArcsec};
    for (int y = zeroY_ + step; y < plotHeight_ - 14; y += step) {
        label(y, value);
        value += mapping_.labelArcsec;
    }

    const QRect plot = plotColumns();
    paintBackground(painter, pen, plot);
    drawMarkers(painter, 0, count, plot);

    noticeShown_ = false;
    switch (axis_) {
    case TimeAxis::SamplePerPixel:
        drawCurve(pen, 0, layout_.visibleEnd(count));
        if (plotWidth_ > 0 && count >= static_cast<uint64_t>(plotWidth_))
            drawFullNotice(painter);
        break;
    case TimeAxis::FollowNewest:
    case TimeAxis::WholeRun:
        pen.setClip(plot);
        if (layout_.spans()) {
            drawSpans(pen, 0, columns_.columnOf(columns_.folded() == 0 ? 0 : columns_.folded() - 1));
        } else {
            const uint64_t end = layout_.visibleEnd(count);
            drawCurve(pen, layout_.visibleBegin(), end);
            drawHead(pen, end);
        }
        break;
    }
    // The flat-curve notice, once given, stays part of the picture while the curve is still that flat.
    if (flatNoticeShown_ && flatCount_ == count && flatNow())
        drawFlatNotice(painter);
    drawn_ = count;
}

bool EncoderGraph::scrollPlot(int shift) {
    const qreal ratio = image_.devicePixelRatio();
    const int scale = static_cast<int>(ratio);
    if (scale < 1 || ratio != scale || shift <= 0 || shift >= plotWidth_)
        return false;
    const size_t pixel = 4; // Format_RGB32
    const int left = leftMargin_ * scale;
    const int moved = (plotWidth_ - shift) * scale;
    if (left + moved + shift * scale > image_.width())
        return false;
    for (int y = 0; y < image_.height(); ++y) {
        uchar* row = image_.scanLine(y);
        std::memmove(row + left * pixel, row + (left + shift * scale) * pixel,
                     static_cast<size_t>(moved) * pixel);
    }
    return true;
}

bool EncoderGraph::canExtend(uint64_t count) {
    if (count < drawn_ || fitStale_ || layout_.axis() != axis_ || layout_.width() != plotWidth_)
        return false;
    const auto width = static_cast<uint64_t>(plotWidth_);
    if (axis_ == TimeAxis::FollowNewest) {
        // The moment the plot fills, and a jump of a whole width, are drawn afresh.
        if (count > width && (drawn_ < width || count - drawn_ >= width))
            return false;
    } else if (axis_ == TimeAxis::WholeRun) {
        if (!layout_.fits(count))
            return false;
        if (layout_.spans())
            columns_.fold(series_, count);
    }
    if (!fitsScale() && !centres())
        return true;
    return !VerticalFit::needsRefit(mapping_, fitChoice(), visibleCurve(count));
}

bool EncoderGraph::extendPerPixel(uint32_t first, uint32_t received, uint64_t count) {
    const bool fitted = fitsScale() || centres();
    if (layout_.axis() != axis_ ||
        (fitted && (fitStale_ || VerticalFit::needsRefit(mapping_, fitChoice(), visibleCurve(count)))))
        return false;
    // The fixed scale draws new samples with the scale and offset set now, as it always has.
    if (!fitted)
        mapping_ = VerticalFit::map(fitChoice(), VisibleCurve{});
    const auto width = static_cast<uint64_t>(plotWidth_);
    const uint64_t end = std::min({uint64_t{first} + received, count, width});
    QPainter painter(&image_);
    GraphPen pen(painter, QRect(0, 0, this->width(), height()));
    QRect dirty = drawMarkers(painter, first, end, plotColumns());
    drawCurve(pen, first, end);
    dirty |= pen.dirty();
    if (!noticeShown_ && width > 0 && count >= width)
        dirty |= drawFullNotice(painter);
    painter.end();
    if (!dirty.isEmpty())
        update(dirty);
    return true;
}

bool EncoderGraph::extendPlot(uint64_t count) {
    const QRect plot = plotColumns();
    int shift = 0;
    if (axis_ == TimeAxis::FollowNewest) {
        const auto width = static_cast<uint64_t>(plotWidth_);
        shift = static_cast<int>((count > width ? count - width : 0) - layout_.first());
        if (shift > 0 && !scrollPlot(shift))
            return false;
        layout_.update(axis_, plotWidth_, count, true, AppModel::kMaxSamples);
    }
    QPainter painter(&image_);
    GraphPen pen(painter, plot);
    QRect dirty;
    if (shift > 0) {
        // What scrolled in at the right is drawn afresh: background, then the marks reaching into it.
        const QRect strip(leftMargin_ + plotWidth_ - shift, 0, shift, height());
        paintBackground(painter, pen, strip);
        drawMarkers(painter, 0, count, strip);
        dirty = plot;
    } else {
        dirty = drawMarkers(painter, drawn_, count, plot);
    }
    if (layout_.spans()) {
        drawSpans(pen, columns_.columnOf(drawn_), columns_.columnOf(count - 1));
    } else {
        drawCurve(pen, drawn_, count);
        drawHead(pen, count);
    }
    dirty |= pen.dirty();
    painter.end();
    drawn_ = count;
    update(dirty);
    return true;
}

QRect EncoderGraph::checkFlat(QPainter& painter, uint32_t first, uint64_t count) {
    if (first == 0 || count < flatCount_) {
        // A new run of samples (after Clear): the notice may be given again.
        flatNoticeShown_ = false;
        flatSeen_ = false;
        flatCount_ = 0;
    }
    for (uint64_t i = flatCount_; i < count; ++i) {
        const double v = series_.value(i);
        flatLow_ = flatSeen_ ? std::min(flatLow_, v) : v;
        flatHigh_ = flatSeen_ ? std::max(flatHigh_, v) : v;
        flatSeen_ = true;
    }
    flatCount_ = count;
    if (flatNoticeShown_ || count < kFlatSamples || !flatNow())
        return QRect();
    flatNoticeShown_ = true;
    return drawFlatNotice(painter);
}

bool EncoderGraph::flatNow() const {
    return series_.isLive() && flatSeen_ && !autoScale_ && plotWidth_ >= 120 && plotHeight_ >= 40 &&
           std::llabs(valueY(flatHigh_) - valueY(flatLow_)) <= 3;
}

QRect EncoderGraph::drawFlatNotice(QPainter& painter) {
    const QFontMetrics metrics(labelFont_);
    const QString text = metrics.elidedText(flatNoticeText(), Qt::ElideRight, std::max(0, plotWidth_ - 12));
    const QRect box = readout_.noteBox(QPoint(leftMargin_ + 4, 3), text);
    readout_.paintNote(painter, box, text, colorScheme() == 0 ? Qt::black : Qt::white);
    return box;
}

void EncoderGraph::drawNew(uint32_t first, uint32_t received) {
    if (!ensureImage() || !series_.isLive())
        return;
    const uint64_t count = series_.count();
    bool extended = false;
    if (axis_ == TimeAxis::SamplePerPixel)
        extended = extendPerPixel(first, received, count);
    else
        extended = count == drawn_ || (canExtend(count) && extendPlot(count));
    if (!extended) {
        paintFull();
        update();
    }
    {
        QPainter painter(&image_);
        const QRect box = checkFlat(painter, first, count);
        painter.end();
        if (!box.isEmpty())
            update(box);
    }
    if (cursorInside_)
        updateHover(cursor_);
}

QString EncoderGraph::zeroLineNote() const {
    if (!centres() || mapping_.base == 0.0 || series_.count() == 0 || plotWidth_ < 120 || plotHeight_ < 40)
        return QString();
    const double perUnit = series_.arcsecPerUnit();
    if (perUnit <= 0.0)
        return QString();
    return QString::fromStdString(zeroLineText(mapping_.base * perUnit));
}

QRect EncoderGraph::zeroLineNoteBox(const QString& note) const {
    // At the bottom left of the plot, clear of the scale.
    QRect box = readout_.noteBox(QPoint(leftMargin_ + 4, 0), note);
    box.moveBottom(plotHeight_ - 4);
    return box;
}

void EncoderGraph::updateHover(const QPoint& at) {
    const QRect before = readout_.area(size());
    readout_.hide();
    const uint64_t count = series_.count();
    uint64_t begin = 0;
    uint64_t end = 0;
    if (!image_.isNull() && at.y() >= 0 && at.y() < height() &&
        layout_.samplesAt(at.x() - leftMargin_, count, begin, end)) {
        // In a column of many samples, the one drawn nearest to the cursor.
        uint64_t best = begin;
        int64_t bestDistance = INT64_MAX;
        for (uint64_t i = begin; i < end; ++i) {
            const int64_t d = std::abs(sampleY(i) - at.y());
            if (d < bestDistance) {
                bestDistance = d;
                best = i;
            }
        }
        const double perUnit = series_.arcsecPerUnit();
        const double value = series_.value(best);
        const QString text = QString::fromStdString(::hoverText(
            best, series_.secondsOf(best), perUnit > 0.0 ? value * perUnit : value, perUnit > 0.0));
        const int64_t x = layout_.spans() ? at.x() : sampleX(best);
        readout_.show(at, QPoint(clampToInt(x, -8, width() + 8), clampToInt(sampleY(best), -8, height() + 8)),
                      text);
    }
    update(before | readout_.area(size()));
}

void EncoderGraph::clearHover() {
    cursorInside_ = false;
    const QRect before = readout_.area(size());
    readout_.hide();
    update(before);
}

void EncoderGraph::mouseMoveEvent(QMouseEvent* event) {
    // Remembered, so that samples arriving under a resting cursor show up in the read-out.
    cursorInside_ = true;
    cursor_ = event->position().toPoint();
    updateHover(cursor_);
}

void EncoderGraph::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    clearHover();
}
