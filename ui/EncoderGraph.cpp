#include "ui/EncoderGraph.h"

#include "app/TextFormat.h"
#include "model/AppModel.h"

#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>

#include <algorithm>
#include <cmath>

namespace {

struct ScaleEntry {
    int labelStep;   // pixels between two labels
    int labelArcsec; // arc-seconds between two labels
};

constexpr ScaleEntry kScales[] = {
    {20, 1}, {20, 2}, {25, 5}, {20, 10}, {20, 20}, {20, 40}, {20, 100}, {20, 600}, {20, 2400}, {20, 7200},
};
constexpr ScaleEntry kScaleBeyondTable = {10, 3600};

// Lines are clipped to the picture; coordinates further out than this are pulled in first, which keeps
// the line arithmetic inside 64 bits without changing any visible pixel of the graph's lines.
constexpr int64_t kCoordinateLimit = int64_t{1} << 24;

int64_t clampCoordinate(int64_t v) {
    return std::clamp(v, -kCoordinateLimit, kCoordinateLimit);
}

QFont makeLabelFont() {
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setWeight(QFont::Light);
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

} // namespace

EncoderGraph::EncoderGraph(AppModel* model, QWidget* parent)
    : QWidget(parent), model_(model), colorScheme_(model->displaySettings.colorScheme),
      verticalOffset_(model->displaySettings.verticalOffset), scaleIndex_(model->displaySettings.scaleIndex),
      axisPen_(axisColour()), centreLinePen_(centreLineColour()), curvePen_(curveColour()),
      labelColour_(labelTextColour()), gridColour_(gridColour()), labelFont_(makeLabelFont()) {
    // The whole picture comes from the backing image: no background erase is needed.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setScale(scaleIndex_);
}

void EncoderGraph::setEncoderBits(int bits) {
    encoderBits_ = bits;
}

void EncoderGraph::setScale(int index) {
    scaleIndex_ = index;
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

void EncoderGraph::applyGeometry(int width, int height) {
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
}

void EncoderGraph::paintEvent(QPaintEvent* event) {
    if (!ensureImage())
        return;
    QPainter painter(this);
    const QRect area = event->rect();
    const qreal ratio = image_.devicePixelRatio();
    const QRectF source(area.x() * ratio, area.y() * ratio, area.width() * ratio, area.height() * ratio);
    painter.drawImage(QRectF(area), image_, source);
}

void EncoderGraph::invalidate() {
    if (!ensureImage())
        return;
    paintFull();
    update();
}

void EncoderGraph::repaint() {
    if (!ensureImage())
        return;
    paintFull();
    QWidget::repaint();
}

int64_t EncoderGraph::sampleY(uint32_t i) const {
    const double scaled = static_cast<double>(model_->samples[i]) * pixelsPerCount_;
    return int64_t{zeroY_} - int64_t{verticalOffset_} + static_cast<int64_t>(std::trunc(scaled));
}

void EncoderGraph::moveTo(int64_t x, int64_t y) {
    penX_ = clampCoordinate(x);
    penY_ = clampCoordinate(y);
}

void EncoderGraph::fillRun(QPainter& painter, const QColor& colour, const QRect& run) {
    painter.fillRect(run, colour);
    dirty_ |= run;
}

// Paints the points of the line from the current point towards (x, y), the end point itself excluded,
// and makes (x, y) the current point. Each step along the longer axis paints one pixel; the shorter
// axis follows the rounded ideal line. Only steps inside the picture are visited, so a line of any
// length costs at most the picture's size.
void EncoderGraph::lineTo(QPainter& painter, const QColor& colour, int64_t x, int64_t y) {
    const int64_t x0 = penX_;
    const int64_t y0 = penY_;
    moveTo(x, y);
    const int64_t dx = penX_ - x0;
    const int64_t dy = penY_ - y0;
    const int64_t adx = dx < 0 ? -dx : dx;
    const int64_t ady = dy < 0 ? -dy : dy;
    if (adx == 0 && ady == 0)
        return;

    const bool yMajor = ady > adx;
    const int64_t steps = yMajor ? ady : adx;
    const int64_t minorSpan = yMajor ? adx : ady;
    const int64_t major0 = yMajor ? y0 : x0;
    const int64_t minor0 = yMajor ? x0 : y0;
    const int64_t majorDir = (yMajor ? dy : dx) < 0 ? -1 : 1;
    const int64_t minorDir = (yMajor ? dx : dy) < 0 ? -1 : 1;
    const int64_t majorLimit = yMajor ? height() : width();

    int64_t kFrom = 0;
    int64_t kTo = 0;
    if (majorDir > 0) {
        kFrom = std::max<int64_t>(0, -major0);
        kTo = std::min<int64_t>(steps - 1, majorLimit - 1 - major0);
    } else {
        kFrom = std::max<int64_t>(0, major0 - (majorLimit - 1));
        kTo = std::min<int64_t>(steps - 1, major0);
    }
    if (kFrom > kTo)
        return;

    auto minorAt = [&](int64_t k) { return minor0 + minorDir * ((2 * k * minorSpan + steps) / (2 * steps)); };
    auto flush = [&](int64_t kA, int64_t kB, int64_t minor) {
        const int64_t a = major0 + majorDir * kA;
        const int64_t b = major0 + majorDir * kB;
        const int lo = static_cast<int>(std::min(a, b));
        const int length = static_cast<int>((a < b ? b - a : a - b) + 1);
        const int m = static_cast<int>(minor);
        fillRun(painter, colour, yMajor ? QRect(m, lo, 1, length) : QRect(lo, m, length, 1));
    };

    // Consecutive points with the same minor coordinate form one rectangle.
    int64_t runStart = kFrom;
    int64_t runMinor = minorAt(kFrom);
    for (int64_t k = kFrom + 1; k <= kTo; ++k) {
        const int64_t minor = minorAt(k);
        if (minor != runMinor) {
            flush(runStart, k - 1, runMinor);
            runStart = k;
            runMinor = minor;
        }
    }
    flush(runStart, kTo, runMinor);
}

void EncoderGraph::drawLabel(QPainter& painter, int y, int arcseconds) {
    moveTo(leftMargin_ - 5, y);
    lineTo(painter, axisPen_, leftMargin_ - 1, y);

    char text[64];
    appendAngle(text, sizeof text, 0, arcseconds);
    painter.setPen(labelColour_);
    // Right-aligned: the text ends at leftMargin - 8, its top at y - 6.
    const int right = leftMargin_ - 8;
    painter.drawText(QRect(right - 400, y - 6, 400, 64), Qt::AlignRight | Qt::AlignTop,
                     QString::fromLatin1(text));
}

void EncoderGraph::paintFull() {
    if (image_.isNull())
        return;
    QPainter painter(&image_);
    dirty_ = QRect();

    painter.fillRect(QRect(0, 0, width(), height()), colorScheme() == 0 ? Qt::black : Qt::white);

    moveTo(leftMargin_ - 1, 0);
    lineTo(painter, axisPen_, leftMargin_ - 1, plotHeight_);
    lineTo(painter, axisPen_, leftMargin_ + plotWidth_, plotHeight_);

    painter.setFont(labelFont_);
    painter.setPen(labelColour_);
    painter.setBackgroundMode(Qt::TransparentMode);
    painter.drawText(QRect(4, 2, 400, 64), Qt::AlignLeft | Qt::AlignTop, QStringLiteral("Fast"));
    painter.drawText(QRect(4, plotHeight_ - 12, 400, 64), Qt::AlignLeft | Qt::AlignTop,
                     QStringLiteral("Slow"));

    // Labels on and above the zero line, then below it; arc-second values stay far inside 32 bits
    // because the loops are bounded by the picture's height.
    int value = 0;
    for (int y = zeroY_; y > 14; y -= labelStep_) {
        drawLabel(painter, y, value);
        value += labelArcsec_;
    }
    value = -labelArcsec_;
    for (int y = zeroY_ + labelStep_; y < plotHeight_ - 14; y += labelStep_) {
        drawLabel(painter, y, value);
        value -= labelArcsec_;
    }

    moveTo(leftMargin_, zeroY_);
    lineTo(painter, centreLinePen_, clientWidth_, zeroY_);

    auto gridRow = [&](int y) {
        for (int x = leftMargin_; x < clientWidth_; x += 10)
            painter.fillRect(QRect(x, y, 1, 1), gridColour_);
    };
    for (int y = zeroY_ + 10; y < plotHeight_; y += 10)
        gridRow(y);
    for (int y = zeroY_ - 10; y > 0; y -= 10)
        gridRow(y);

    const uint32_t count = std::min(model_->sampleCount, AppModel::kMaxSamples);
    for (uint32_t i = 0; i < count && static_cast<int64_t>(i) < plotWidth_; ++i) {
        const int64_t x = int64_t{leftMargin_} + i;
        if (i == 0)
            moveTo(x, sampleY(i));
        else
            lineTo(painter, curvePen_, x, sampleY(i));
    }
}

void EncoderGraph::drawNew(uint32_t first, uint32_t received) {
    if (!ensureImage())
        return;
    const uint32_t count = std::min(model_->sampleCount, AppModel::kMaxSamples);
    const uint64_t end = uint64_t{first} + received;

    QPainter painter(&image_);
    dirty_ = QRect();
    if (first >= 1 && first - 1 < count)
        moveTo(int64_t{leftMargin_} + first - 1, sampleY(first - 1));
    int64_t x = int64_t{leftMargin_} + first;
    for (uint32_t i = first; i < end && i < count && x < clientWidth_; ++i, ++x) {
        if (i == 0)
            moveTo(x, sampleY(i));
        else
            lineTo(painter, curvePen_, x, sampleY(i));
    }
    painter.end();
    if (!dirty_.isEmpty())
        update(dirty_);
}
