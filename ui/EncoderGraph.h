#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QRect>
#include <QWidget>

#include <cstdint>

class AppModel;
class QPainter;

// The tracking-error graph: one pixel column per stored sample, arc-seconds vertically around a zero
// line, with a labelled scale, a dotted grid and "Fast"/"Slow" marks. It draws straight from the
// model's sample store and keeps no copy of the data. The picture lives in a backing image: a full
// paint rebuilds it (resize, settings change, Clear), drawNew adds only the new curve segments, and
// paintEvent just copies it to the screen. UI thread only.
class EncoderGraph : public QWidget {
    Q_OBJECT
public:
    static constexpr int kLeftMargin = 45;

    explicit EncoderGraph(AppModel* model, QWidget* parent = nullptr);
    ~EncoderGraph() override = default;
    EncoderGraph(const EncoderGraph&) = delete;
    EncoderGraph& operator=(const EncoderGraph&) = delete;

    // Stores the encoder width only; the vertical scale follows on the next setScale.
    void setEncoderBits(int bits);
    // The chosen scheme: 0 dark, anything else light.
    void setColorScheme(int scheme) { colorScheme_ = scheme; }
    // At night the picture is dark whatever scheme was chosen; the chosen one comes back with the day.
    void setNight(bool night) { night_ = night; }
    void setVerticalOffset(int pixels) { verticalOffset_ = pixels; }
    // Selects the scale (labelStep, labelArcsec) and recomputes pixelsPerCount.
    void setScale(int index);
    // Redraws the whole picture (after Clear) and schedules it for the screen.
    void invalidate();
    // Redraws the whole picture (after a settings change) and shows it at once.
    void repaint();
    // Draws the curve for the samples first .. first + received - 1, joined to the curve before them.
    void drawNew(uint32_t first, uint32_t received);

    // Geometry and state, for the dialog and for tests.
    bool firstPaint() const { return firstPaint_; }
    int leftMargin() const { return leftMargin_; }
    int clientWidth() const { return clientWidth_; }
    int plotWidth() const { return plotWidth_; }
    int plotHeight() const { return plotHeight_; }
    int zeroY() const { return zeroY_; }
    // The scheme drawn now: 0 at night.
    int colorScheme() const { return night_ ? 0 : colorScheme_; }
    int verticalOffset() const { return verticalOffset_; }
    int labelArcsec() const { return labelArcsec_; }
    int labelStep() const { return labelStep_; }
    int scaleIndex() const { return scaleIndex_; }
    int encoderBits() const { return encoderBits_; }
    double pixelsPerCount() const { return pixelsPerCount_; }
    const QFont& labelFont() const { return labelFont_; }
    // The backing image (device pixels; its devicePixelRatio maps them to widget pixels).
    const QImage& image() const { return image_; }

    // Colours of the picture's parts.
    static QColor axisColour() { return QColor(128, 0, 0); }
    static QColor centreLineColour() { return QColor(64, 0, 0); }
    static QColor curveColour() { return QColor(192, 0, 0); }
    static QColor labelTextColour() { return QColor(192, 0, 0); }
    static QColor gridColour() { return QColor(96, 0, 0); }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void applyGeometry(int width, int height);
    // Makes sure the backing image matches the widget; rebuilds it with a full paint when not.
    bool ensureImage();
    void paintFull();
    void drawLabel(QPainter& painter, int y, int arcseconds);
    // y of sample i, in 64 bits so that no offset or value can overflow.
    int64_t sampleY(uint32_t i) const;
    // Move-to / line-to: the line from the current point to (x, y) without its end point.
    void moveTo(int64_t x, int64_t y);
    void lineTo(QPainter& painter, const QColor& colour, int64_t x, int64_t y);
    void fillRun(QPainter& painter, const QColor& colour, const QRect& run);

    AppModel* model_;
    bool firstPaint_ = true;
    int leftMargin_ = kLeftMargin;
    int clientWidth_ = 0;
    int plotWidth_ = 0;
    int plotHeight_ = 0;
    int zeroY_ = 0;
    int colorScheme_;
    bool night_ = false;
    int verticalOffset_;
    int labelArcsec_ = 1;
    int labelStep_ = 20;
    int scaleIndex_;
    int encoderBits_ = 32;
    double pixelsPerCount_ = 0.0;

    // Drawing objects, made once.
    const QColor axisPen_;
    const QColor centreLinePen_;
    const QColor curvePen_;
    const QColor labelColour_;
    const QColor gridColour_;
    QFont labelFont_;

    QImage image_;
    int64_t penX_ = 0;
    int64_t penY_ = 0;
    QRect dirty_; // widget pixels touched by the current incremental draw
};
