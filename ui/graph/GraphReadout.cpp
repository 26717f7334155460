#include "ui/graph/GraphReadout.h"

#include <QFontMetrics>
#include <QPainter>

namespace {

// A rectangle's outline, one pixel wide.
void frame(QPainter& painter, const QRect& r, const QColor& colour) {
    painter.fillRect(QRect(r.left(), r.top(), r.width(), 1), colour);
    painter.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), colour);
    painter.fillRect(QRect(r.left(), r.top(), 1, r.height()), colour);
    painter.fillRect(QRect(r.right(), r.top(), 1, r.height()), colour);
}

} // namespace

void GraphReadout::show(QPoint cursor, QPoint sample, const QString& text) {
    shown_ = true;
    cursor_ = cursor;
    sample_ = sample;
    text_ = text;
}

void GraphReadout::hide() {
    shown_ = false;
    text_.clear();
}

QRect GraphReadout::textBox(QSize widget) const {
    const QFontMetrics metrics(font_);
    const QRect text = metrics.boundingRect(QRect(0, 0, 1000, 1000), Qt::AlignLeft | Qt::AlignTop, text_);
    QRect box(0, 0, text.width() + 8, text.height() + 6);
    // Below right of the cursor, or on the other side where the picture ends.
    QPoint at = cursor_ + QPoint(14, 14);
    if (at.x() + box.width() > widget.width())
        at.setX(cursor_.x() - 8 - box.width());
    if (at.y() + box.height() > widget.height())
        at.setY(cursor_.y() - 8 - box.height());
    box.moveTopLeft(at);
    return box;
}

QRect GraphReadout::area(QSize widget) const {
    return shown_ ? textBox(widget) | ring() : QRect();
}

void GraphReadout::paint(QPainter& painter, QSize widget, const QColor& background) const {
    if (!shown_)
        return;
    frame(painter, ring(), inkColour());
    const QRect box = textBox(widget);
    painter.fillRect(box, background);
    frame(painter, box, frameColour());
    painter.setFont(font_);
    painter.setPen(inkColour());
    painter.drawText(box.adjusted(4, 3, -4, -3), Qt::AlignLeft | Qt::AlignTop, text_);
}

QRect GraphReadout::noteBox(QPoint topLeft, const QString& note) const {
    const QFontMetrics metrics(font_);
    return QRect(topLeft, QSize(metrics.horizontalAdvance(note) + 8, metrics.height() + 4));
}

void GraphReadout::paintNote(QPainter& painter, const QRect& box, const QString& note,
                             const QColor& background) const {
    painter.fillRect(box, background);
    frame(painter, box, frameColour());
    painter.setFont(font_);
    painter.setPen(inkColour());
    painter.drawText(box.adjusted(4, 2, -4, -2), Qt::AlignLeft | Qt::AlignTop, note);
}
