#pragma once

#include <QColor>
#include <QRect>

#include <cstdint>

class QPainter;

// Draws the graph's one-pixel lines with move-to / line-to semantics onto a painter: the line from the
// current point to the new one, without its end point, each step along the longer axis painting one pixel.
// Only the pixels inside the clip rectangle are painted, so a line of any length costs at most the
// picture's size. Remembers which pixels it touched, so that only they need to reach the screen. Lives
// on the UI thread, for one drawing pass.
class GraphPen {
public:
    GraphPen(QPainter& painter, const QRect& clip) : painter_(painter), clip_(clip) {}

    void moveTo(int64_t x, int64_t y);
    void lineTo(const QColor& colour, int64_t x, int64_t y);
    // One rectangle of pixels, clipped.
    void fill(const QColor& colour, const QRect& area);
    void setClip(const QRect& clip) { clip_ = clip; }
    const QRect& clip() const { return clip_; }
    // Pixels painted since construction (clipped).
    const QRect& dirty() const { return dirty_; }

private:
    QPainter& painter_;
    QRect clip_;
    QRect dirty_;
    int64_t x_ = 0;
    int64_t y_ = 0;
};
