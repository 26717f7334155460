#pragma once

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QWidget>
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>

// Width a control needs to show its text on one line (0 for controls whose text may wrap or scroll).
inline int neededWidth(const QWidget* w) {
    const QFontMetrics fm(w->font());
    if (auto* label = qobject_cast<const QLabel*>(w))
        return label->wordWrap() ? 0 : fm.horizontalAdvance(label->text());
    if (auto* push = qobject_cast<const QPushButton*>(w))
        return fm.horizontalAdvance(push->text()) + 4;
    if (auto* button = qobject_cast<const QAbstractButton*>(w)) {
        const bool radio = qobject_cast<const QRadioButton*>(w) != nullptr;
        const int indicator =
            w->style()->pixelMetric(radio ? QStyle::PM_ExclusiveIndicatorWidth : QStyle::PM_IndicatorWidth);
        const int spacing = w->style()->pixelMetric(radio ? QStyle::PM_RadioButtonLabelSpacing
                                                          : QStyle::PM_CheckBoxLabelSpacing);
        return indicator + spacing + fm.horizontalAdvance(button->text());
    }
    if (auto* box = qobject_cast<const QGroupBox*>(w))
        return fm.horizontalAdvance(box->title()) + 16;
    return 0;
}

// The part of a control that shows something: a single-line label's text line, the whole of any other.
inline QRect usedRect(const QWidget* w) {
    auto* label = qobject_cast<const QLabel*>(w);
    if (!label || label->wordWrap())
        return w->geometry();
    QRect r = w->geometry();
    r.setHeight(std::min(r.height(), QFontMetrics(w->font()).height()));
    return r;
}

// Checks a shown dialog's controls (the visible children that carry a control ID): each lies inside the
// dialog, shows its one-line text unclipped and overlaps no other control; group boxes frame others and
// take no part in the overlap check. The controls with an ID in notChecked are checked only as the
// other side of an overlap.
inline void expectControlsWholeAndApart(const QWidget& dialog, const std::string& what,
                                        std::initializer_list<int> notChecked = {}) {
    const QRect inside(QPoint(0, 0), dialog.size());
    const QList<QWidget*> controls = dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    const auto hasId = [](const QWidget* c) { return c->isVisible() && !c->objectName().isEmpty(); };
    int checked = 0;
    for (const QWidget* c : controls) {
        if (!hasId(c) || std::count(notChecked.begin(), notChecked.end(), c->objectName().toInt()) > 0)
            continue;
        ++checked;
        const std::string name = what + " control " + c->objectName().toStdString();
        EXPECT_TRUE(inside.contains(c->geometry()))
            << name << " at " << c->x() << "," << c->y() << " " << c->width() << "x" << c->height() << " in "
            << dialog.width() << "x" << dialog.height();
        EXPECT_LE(neededWidth(c), c->width()) << name << " text clipped";
        if (qobject_cast<const QGroupBox*>(c))
            continue;
        for (const QWidget* other : controls) {
            if (other == c || !hasId(other) || qobject_cast<const QGroupBox*>(other))
                continue;
            EXPECT_FALSE(usedRect(c).intersects(usedRect(other)))
                << name << " overlaps " << other->objectName().toStdString();
        }
    }
    EXPECT_GT(checked, 3) << what;
}
