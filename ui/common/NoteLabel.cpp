#include "ui/common/NoteLabel.h"

#include "ui/common/ElidedPath.h"

#include <QResizeEvent>

#include <algorithm>

void NoteLabel::showNote(const QString& note, const QString& detail, const QString& path) {
    note_ = note;
    path_ = path;
    setToolTip(detail.isEmpty() ? note : detail);
    elide();
}

void NoteLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    elide();
}

void NoteLabel::elide() {
    const QFontMetrics metrics = fontMetrics();
    const int room = std::max(1, width());
    const auto fits = [&](const QString& text) { return metrics.horizontalAdvance(text) <= room; };
    QString shown = elidePathInText(note_, path_, fits);
    // Too narrow for that: the path alone (where it went, just after the user asked for it), shortened
    // the same way, else its end (the file and its folder). A note naming no file keeps its start.
    if (shown.isEmpty() && !path_.isEmpty())
        shown = elidePathInText(path_, path_, fits);
    if (shown.isEmpty())
        shown = path_.isEmpty() ? metrics.elidedText(note_, Qt::ElideRight, room)
                                : metrics.elidedText(path_, Qt::ElideLeft, room);
    setText(shown);
}
