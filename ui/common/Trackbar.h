#pragma once

#include <QSlider>

// A horizontal slider that reports the end of each user change with endTrack(): when the mouse button
// is let go (after a drag or a click beside the thumb), when a navigation key is released, and after a
// wheel step. Changes made by the program are not reported. UI thread only.
class Trackbar : public QSlider {
    Q_OBJECT
public:
    explicit Trackbar(QWidget* parent);

signals:
    void endTrack();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
};
