#include "ui/common/NightMode.h"

#include <QApplication>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleFactory>

namespace {

// Shades used: text, dim text, borders, control faces. Bright reds stay well below 255 so that
// styles which lighten a colour (hover, bevels) still get a pure red rather than a washed-out pink.
constexpr int kText = 200;
constexpr int kDimText = 100;
constexpr int kBorder = 120;
constexpr int kDimBorder = 70;
constexpr int kFace = 40;
constexpr int kFaceHover = 60;
constexpr int kFacePressed = 85;
constexpr int kField = 16;
constexpr int kSelection = 95;
constexpr int kSelectedText = 230;

// The application's style without a text cursor of its own.
class NoCaretStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
        if (metric == PM_TextCursorWidth)
            return 0;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

QString hex(int level) {
    return QStringLiteral("#%1").arg(level, 2, 16, QLatin1Char('0')) + QStringLiteral("0000");
}

} // namespace

NightMode::~NightMode() {
    setOn(false);
}

void NightMode::setOn(bool on) {
    if (on == on_)
        return;
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (app == nullptr)
        return;
    if (on) {
        savedPalette_ = QApplication::palette();
        savedStyleSheet_ = app->styleSheet();
        savedStyleName_ = QApplication::style()->name();
        QApplication::setStyle(new NoCaretStyle(QStyleFactory::create(savedStyleName_)));
        QApplication::setPalette(palette());
        app->setStyleSheet(styleSheet());
        app->installEventFilter(this);
    } else {
        app->removeEventFilter(this);
        app->setStyleSheet(savedStyleSheet_);
        QApplication::setStyle(savedStyleName_);
        QApplication::setPalette(savedPalette_);
    }
    on_ = on;
}

bool NightMode::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::Paint)
        return false;
    auto* edit = qobject_cast<QLineEdit*>(watched);
    if (edit == nullptr || edit->isReadOnly() || !edit->hasFocus())
        return false;
    // The edit paints itself first (its own cursor has no width now), then a steady red cursor on top.
    edit->event(event);
    const QRect cursor = edit->inputMethodQuery(Qt::ImCursorRectangle).toRect();
    if (cursor.isValid()) {
        QPainter painter(edit);
        painter.fillRect(QRect(cursor.center().x(), cursor.top(), 1, cursor.height()), red(kText));
    }
    return true;
}

QPalette NightMode::palette() {
    QPalette p;
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        const bool disabled = group == QPalette::Disabled;
        const QColor text = red(disabled ? kDimText : kText);
        p.setColor(group, QPalette::Window, red(0));
        p.setColor(group, QPalette::WindowText, text);
        p.setColor(group, QPalette::Base, red(kField));
        p.setColor(group, QPalette::AlternateBase, red(kFace));
        p.setColor(group, QPalette::ToolTipBase, red(kField));
        p.setColor(group, QPalette::ToolTipText, red(kText));
        p.setColor(group, QPalette::PlaceholderText, red(kDimText));
        p.setColor(group, QPalette::Text, text);
        p.setColor(group, QPalette::Button, red(kFace));
        p.setColor(group, QPalette::ButtonText, text);
        p.setColor(group, QPalette::BrightText, red(kSelectedText));
        p.setColor(group, QPalette::Light, red(kBorder));
        p.setColor(group, QPalette::Midlight, red(kFacePressed));
        p.setColor(group, QPalette::Mid, red(kDimBorder));
        p.setColor(group, QPalette::Dark, red(kFace));
        p.setColor(group, QPalette::Shadow, red(0));
        p.setColor(group, QPalette::Highlight, red(kSelection));
        p.setColor(group, QPalette::HighlightedText, red(kSelectedText));
        p.setColor(group, QPalette::Link, text);
        p.setColor(group, QPalette::LinkVisited, red(kDimText));
    }
    return p;
}

QString NightMode::styleSheet() {
    // Every widget kind the program shows gets its colours here, borders included, so that no part is
    // left to a style's own (grey or blue) drawing.
    return QStringLiteral(
               "* { color: %1; background-color: %2; selection-color: %3; selection-background-color: %4; }"
               "*:disabled { color: %5; }"
               "QToolTip { color: %1; background-color: %6; border: 1px solid %7; }"
               "QPushButton { background-color: %8; border: 1px solid %7; border-radius: 2px;"
               " padding: 0px 3px; }"
               "QPushButton:hover { background-color: %9; }"
               "QPushButton:pressed, QPushButton:checked { background-color: %10; }"
               "QPushButton:focus { border: 1px solid %1; }"
               "QPushButton:disabled { border-color: %11; }"
               "QLineEdit { background-color: %6; border: 1px solid %7; padding: 0px 2px; }"
               "QLineEdit:read-only { background-color: %2; }"
               // The right padding keeps a long entry's text clear of the drop-down button.
               "QComboBox { background-color: %8; border: 1px solid %7; border-radius: 2px;"
               " padding: 0px 16px 0px 3px; }"
               "QComboBox:focus { border: 1px solid %1; }"
               "QComboBox::drop-down { width: 14px; border: none; border-left: 1px solid %7;"
               " background-color: %8; }"
               "QComboBox::down-arrow { width: 0px; height: 0px; border-left: 4px solid %8;"
               " border-right: 4px solid %8; border-top: 5px solid %1; border-bottom: none; }"
               "QComboBox QAbstractItemView { background-color: %2; border: 1px solid %7; outline: none; }"
               "QCheckBox, QRadioButton { background-color: transparent; spacing: 4px; }"
               "QCheckBox::indicator { width: 9px; height: 9px; border: 1px solid %7; background-color: %2; }"
               "QCheckBox::indicator:checked { background-color: %1; border: 1px solid %1; }"
               "QCheckBox::indicator:disabled { border-color: %11; }"
               "QCheckBox::indicator:checked:disabled { background-color: %5; }"
               "QRadioButton::indicator { width: 9px; height: 9px; border: 1px solid %7; border-radius: 5px;"
               " background-color: %2; }"
               "QRadioButton::indicator:checked { background-color: %1; border: 1px solid %1; }"
               "QCheckBox:focus, QRadioButton:focus { outline: none; }"
               "QLabel { background-color: transparent; }"
               // Horizontal separator lines.
               "QFrame[frameShape=\"4\"] { border: none; border-top: 1px solid %11;"
               " background-color: transparent; }"
               "QScrollBar { background-color: %2; border: 1px solid %11; }"
               "QScrollBar:vertical { width: 14px; } QScrollBar:horizontal { height: 14px; }"
               "QScrollBar::handle { background-color: %8; border: 1px solid %11; }"
               "QScrollBar::add-line, QScrollBar::sub-line { background-color: %8; border: 1px solid %11;"
               " width: 12px; height: 12px; }"
               "QScrollBar::add-page, QScrollBar::sub-page { background-color: %2; }"
               "QScrollBar::handle:disabled { background-color: %2; border: none; }"
               "QScrollBar::up-arrow, QScrollBar::down-arrow, QScrollBar::left-arrow,"
               " QScrollBar::right-arrow { width: 0px; height: 0px; border: none; }"
               "QSlider { background-color: transparent; }"
               "QSlider::groove:horizontal { height: 4px; background-color: %6; border: 1px solid %7; }"
               "QSlider::handle:horizontal { width: 8px; margin: -6px 0px; background-color: %10;"
               " border: 1px solid %1; }"
               // The analysis window's tables and the list of guide sections.
               "QTableView, QListView { background-color: %6; border: 1px solid %7; gridline-color: %11; }"
               "QHeaderView { background-color: %2; border: none; }"
               "QHeaderView::section { background-color: %8; color: %1; border: none;"
               " border-right: 1px solid %11; border-bottom: 1px solid %11; padding: 0px 3px; }"
               "QTableCornerButton::section { background-color: %8; border: none; }"
               "QMessageBox { background-color: %2; }"
               "QSizeGrip { width: 0px; height: 0px; image: none; background-color: transparent; }")
        .arg(hex(kText), hex(0), hex(kSelectedText), hex(kSelection), hex(kDimText), hex(kField),
             hex(kBorder), hex(kFace), hex(kFaceHover))
        .arg(hex(kFacePressed), hex(kDimBorder));
}
