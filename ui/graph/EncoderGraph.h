#pragma once

#include "model/store/Settings.h"
#include "ui/graph/ColumnCache.h"
#include "ui/graph/GraphMarker.h"
#include "ui/graph/GraphReadout.h"
#include "ui/graph/GraphSeries.h"
#include "ui/graph/TimeAxisLayout.h"
#include "ui/graph/VerticalFit.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QRect>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <vector>

class AppModel;
class GraphPen;
class QPainter;

// The tracking-error graph: the logged samples from left to right, arc-seconds vertically around a zero
// line, with a labelled scale, a dotted grid and "Fast"/"Slow" marks. It draws straight from the model's
// sample store (or from an offline log it is shown) and keeps no copy of the data. The time axis is one
// sample per pixel column, follows the newest sample, or fits the whole run; the scale is fixed, or fits
// the visible curve, with the zero line at 0 or at the curve's mean (an opened log always fits and is
// centred). The left margin widens when a scale label would not fit in it. The picture lives in a backing
// image: a full paint rebuilds it (resize, settings change, Clear), drawNew adds only what the new samples
// change, and paintEvent copies it to the screen with the hover read-out on top. UI thread only.
class EncoderGraph : public QWidget {
    Q_OBJECT
public:
    static constexpr int kLeftMargin = 45;

    explicit EncoderGraph(AppModel* model, QWidget* parent = nullptr);
    ~EncoderGraph() override;
    EncoderGraph(const EncoderGraph&) = delete;
    EncoderGraph& operator=(const EncoderGraph&) = delete;

    // Stores the encoder width only; the fixed vertical scale follows on the next setScale, Auto on the
    // next full paint, the hover read-out at once.
    void setEncoderBits(int bits);
    // The chosen scheme: 0 dark, anything else light.
    void setColorScheme(int scheme) { colorScheme_ = scheme; }
    // At night the picture is dark whatever scheme was chosen; the chosen one comes back with the day.
    void setNight(bool night) { night_ = night; }
    void setVerticalOffset(int pixels) { verticalOffset_ = pixels; }
    // Selects the scale (labelStep, labelArcsec) and recomputes pixelsPerCount.
    void setScale(int index);
    // The time axis, Auto and Centre; like the other settings they take effect with the next repaint.
    void setTimeAxis(TimeAxis axis);
    void setAutoScale(bool on);
    void setCentre(bool on);
    // Log rate index of the live samples (0..5), -1 when unknown: gives the hover read-out its times.
    void setLiveLogRate(int logRateIndex);

    // Shows an offline log instead of the live store, in the given time axis (an opened log starts in
    // Whole run), and repaints. The arrays must stay alive and unchanged until showLive or another
    // showLog. Live samples arriving meanwhile are stored but not drawn. Markers are cleared: set the log's
    // own afterwards.
    void showLog(const LogSeries& log, TimeAxis axis = TimeAxis::WholeRun);
    // Back to the live store, in the given time axis, and repaints; markers are cleared.
    void showLive(TimeAxis axis = TimeAxis::SamplePerPixel);
    bool showingLog() const { return !series_.isLive(); }
    // Marks on the time axis (any order; sample numbers of the series shown), drawn in every time axis,
    // and repaints.
    void setMarkers(std::vector<GraphMarker> markers);

    // Redraws the whole picture after the data changed (Clear) and schedules it for the screen.
    void invalidate();
    // Redraws the whole picture (after a settings change) and shows it at once.
    void repaint();
    // Draws what the samples first .. first + received - 1 of the live store add to the picture.
    void drawNew(uint32_t first, uint32_t received);

    // Geometry and state, for the dialog and for tests.
    int leftMargin() const { return leftMargin_; }
    int clientWidth() const { return clientWidth_; }
    int plotWidth() const { return plotWidth_; }
    int plotHeight() const { return plotHeight_; }
    int zeroY() const { return zeroY_; }
    // The scheme drawn now: 0 at night.
    int colorScheme() const { return night_ ? 0 : colorScheme_; }
    int verticalOffset() const { return verticalOffset_; }
    // The fixed scale chosen with setScale.
    int labelArcsec() const { return labelArcsec_; }
    int labelStep() const { return labelStep_; }
    int scaleIndex() const { return scaleIndex_; }
    int encoderBits() const { return encoderBits_; }
    double pixelsPerCount() const { return pixelsPerCount_; }
    TimeAxis timeAxis() const { return axis_; }
    bool autoScale() const { return autoScale_; }
    bool centre() const { return centre_; }
    // The vertical mapping drawn now (the fixed scale, or the fit of Auto and Centre).
    const VerticalMapping& mapping() const { return mapping_; }
    const TimeAxisLayout& layout() const { return layout_; }
    const QFont& labelFont() const { return labelFont_; }
    // The backing image (device pixels; its devicePixelRatio maps them to widget pixels).
    const QImage& image() const { return image_; }
    // The read-out for the sample under the cursor; empty when the cursor is on none.
    const QString& hoverText() const { return readout_.text(); }
    // The note of what the zero line stands for while centred, drawn over the picture; empty when none.
    QString zeroLineNote() const;
    // Whether the picture carries the notice that the graph is full.
    bool fullNoticeShown() const { return noticeShown_; }
    static QString fullNoticeText() { return QStringLiteral("Graph full: Display settings > Time axis"); }
    // Whether the picture carries the notice that the live curve is too flat to see at the fixed scale.
    bool flatNoticeShown() const { return flatNoticeShown_; }
    static QString flatNoticeText() {
        return QStringLiteral("Curve within 3 pixels: Display settings > Auto scale");
    }
    // Live samples the curve must stay that flat for before the notice is given (30 s at 4 Hz).
    static constexpr uint64_t kFlatSamples = 120;

    // Colours of the picture's parts.
    static QColor axisColour() { return QColor(128, 0, 0); }
    static QColor centreLineColour() { return QColor(64, 0, 0); }
    static QColor curveColour() { return QColor(192, 0, 0); }
    static QColor labelTextColour() { return QColor(192, 0, 0); }
    static QColor gridColour() { return QColor(96, 0, 0); }
    static QColor markerColour() { return QColor(160, 0, 0); }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void applyGeometry(int width, int height);
    // Makes sure the backing image matches the widget; rebuilds it with a full paint when not.
    bool ensureImage();
    void paintFull();
    // The layout, the column cache and the vertical mapping for the samples stored now.
    void prepareLayout(uint64_t count);
    VerticalFit::Choice fitChoice() const;
    // An opened log is always drawn fitted to its own spread and centred on its mean: a night of absolute
    // positions would otherwise be a flat line far off the plot. The live curve follows the settings.
    bool fitsScale() const { return autoScale_ || showingLog(); }
    bool centres() const { return centre_ || showingLog(); }
    // Widens the left margin (and narrows the plot) so that the widest scale label fits whole; true when
    // it changed.
    bool fitLabelMargin();
    VisibleCurve visibleCurve(uint64_t count) const;
    // Whether count samples can be drawn on the picture as it is (FollowNewest, WholeRun); false when it
    // needs a full paint.
    bool canExtend(uint64_t count);
    // Draw what new samples add; false, with nothing drawn, when the picture needs a full paint instead.
    bool extendPerPixel(uint32_t first, uint32_t received, uint64_t count);
    bool extendPlot(uint64_t count);

    // Parts of the picture. Those of the plot area draw only inside the painter's clip.
    void paintBackground(QPainter& painter, GraphPen& pen, const QRect& columns);
    void drawLabel(QPainter& painter, GraphPen& pen, int y, int arcseconds);
    // The marks of samples from .. to - 1 that reach into clip; returns the pixels painted.
    QRect drawMarkers(QPainter& painter, uint64_t from, uint64_t to, const QRect& clip);
    void drawCurve(GraphPen& pen, uint64_t from, uint64_t to);
    void drawSpans(GraphPen& pen, int fromColumn, int toColumn);
    // The newest sample's own pixel, which the line to it leaves out.
    void drawHead(GraphPen& pen, uint64_t count);
    // Returns the notice's box.
    QRect drawFullNotice(QPainter& painter);
    // Follows the live curve's extent at the fixed scale and, once, says when it stays within three
    // pixels; returns the notice's box when drawn now.
    QRect checkFlat(QPainter& painter, uint32_t first, uint64_t count);
    // Whether the live curve stays within three pixels at the scale drawn now.
    bool flatNow() const;
    QRect drawFlatNotice(QPainter& painter);
    // The scroll of FollowNewest: moves the plot area left by shift columns; false, with nothing moved,
    // when whole device pixels cannot express it.
    bool scrollPlot(int shift);

    // y of value v under the current mapping, in 64 bits so that no offset or value can overflow.
    int64_t valueY(double v) const;
    int64_t sampleY(uint64_t i) const { return valueY(series_.value(i)); }
    int64_t sampleX(uint64_t i) const { return int64_t{leftMargin_} + layout_.columnOf(i); }
    QRect plotColumns() const { return QRect(leftMargin_, 0, plotWidth_, height()); }

    void updateHover(const QPoint& at);
    void clearHover();
    QRect zeroLineNoteBox(const QString& note) const;

    AppModel* model_;
    GraphSeries series_;
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
    TimeAxis axis_;
    bool autoScale_;
    bool flatNoticeShown_ = false; // given once per run of live samples (until Clear)
    bool flatSeen_ = false;        // flatLow_ and flatHigh_ hold the live samples' extent
    double flatLow_ = 0.0;
    double flatHigh_ = 0.0;
    uint64_t flatCount_ = 0; // live samples taken into the extent
    bool centre_;
    bool fitStale_ = true; // the mapping is made afresh at the next full paint

    // Drawing objects, made once.
    const QColor axisPen_;
    const QColor centreLinePen_;
    const QColor curvePen_;
    const QColor labelColour_;
    const QColor gridColour_;
    const QColor markerPen_;
    QFont labelFont_;

    QImage image_;
    TimeAxisLayout layout_;
    ColumnCache columns_;
    VerticalMapping mapping_;
    uint64_t drawn_ = 0; // samples the picture shows, FollowNewest and WholeRun
    bool noticeShown_ = false;
    std::vector<GraphMarker> markers_; // sorted by sample

    GraphReadout readout_;
    bool cursorInside_ = false;
    QPoint cursor_;
};
