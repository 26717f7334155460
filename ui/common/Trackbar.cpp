#include "ui/common/Trackbar.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

Trackbar::Trackbar(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
    setTickPosition(QSlider::TicksBelow);
    setTickInterval(1);
}

void Trackbar::mouseReleaseEvent(QMouseEvent* event) {
    QSlider::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton)
        emit endTrack();
}

void Trackbar::keyReleaseEvent(QKeyEvent* event) {
    QSlider::keyReleaseEvent(event);
    if (event->isAutoRepeat())
        return;
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
        emit endTrack();
        break;
    default:
        break;
    }
}

void Trackbar::wheelEvent(QWheelEvent* event) {
    const int before = value();
    QSlider::wheelEvent(event);
    if (value() != before)
        emit endTrack();
}
