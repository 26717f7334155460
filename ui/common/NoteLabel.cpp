#include "ui/common/NoteLabel.h"

#include <QResizeEvent>

#include <algorithm>

void NoteLabel::showNote(const QString& note, const QString& detail) {
    note_ = note;
    setToolTip(detail);
    elide();
}

void NoteLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    elide();
}

void NoteLabel::elide() {
    setText(fontMetrics().elidedText(note_, Qt::ElideRight, std::max(1, width())));
}
