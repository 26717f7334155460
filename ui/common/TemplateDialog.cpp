#include "ui/common/TemplateDialog.h"

#include "ui/common/PlainRadioButton.h"
#include "ui/common/Trackbar.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

// The classic dialog font's line height in pixels, the reference for the pixel heights of special fonts.
constexpr int kClassicFontHeight = 13;

} // namespace

TemplateDialog::TemplateDialog(QWidget* owner, const QString& title, int width, int height)
    : QDialog(owner), units_(QApplication::font()) {
    setFont(QApplication::font());
    setWindowTitle(title);
    setModal(true);
    setFixedSize(units_.x(width), units_.y(height));
}

void TemplateDialog::setTemplateSize(int width, int height) {
    setFixedSize(units_.x(width), units_.y(height));
}

QWidget* TemplateDialog::control(int id) const {
    return findChild<QWidget*>(QString::number(id), Qt::FindDirectChildrenOnly);
}

void TemplateDialog::reject() {
    command(2);
}

void TemplateDialog::editFocusLost(int) {}

void TemplateDialog::trackbarEndTrack(int) {}

bool TemplateDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut &&
        static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason) {
        // Only the edits made by addEdit are watched; their object names are their IDs.
        bool ok = false;
        const int id = watched->objectName().toInt(&ok);
        if (ok)
            editFocusLost(id);
    }
    return QDialog::eventFilter(watched, event);
}

void TemplateDialog::place(QWidget* widget, int id, int x, int y, int w, int h) {
    widget->setObjectName(QString::number(id));
    widget->setGeometry(units_.rect(x, y, w, h));
}

QLabel* TemplateDialog::addStatic(int id, const QString& text, int x, int y, int w, int h,
                                  Qt::Alignment align) {
    auto* label = new QLabel(text, this);
    label->setAlignment(align | Qt::AlignTop);
    place(label, id, x, y, w, h);
    // This font may run wider than the one the layout was drawn for: a single-line text that would be
    // clipped grows away from its anchored side, so it stays where it belongs and shows whole.
    const int needed = label->fontMetrics().horizontalAdvance(text);
    if (needed > label->width()) {
        QRect r = label->geometry();
        if (align & Qt::AlignRight)
            r.setLeft(r.right() + 1 - needed);
        else
            r.setWidth(needed);
        label->setGeometry(r);
    }
    return label;
}

QLabel* TemplateDialog::addWrappedStatic(int id, const QString& text, int x, int y, int w, int h) {
    auto* label = new QLabel(text, this);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(true);
    place(label, id, x, y, w, h);
    return label;
}

QLineEdit* TemplateDialog::addEdit(int id, int x, int y, int w, int h, bool readOnly) {
    auto* edit = new QLineEdit(this);
    edit->setReadOnly(readOnly);
    if (readOnly) {
        // Read-only fields show the dialog's face colour, as such fields do on the desktop.
        QPalette palette = edit->palette();
        palette.setColor(QPalette::Base, palette.color(QPalette::Window));
        edit->setPalette(palette);
    }
    place(edit, id, x, y, w, h);
    edit->installEventFilter(this);
    return edit;
}

QPushButton* TemplateDialog::addButton(int id, const QString& text, int x, int y, int w, int h) {
    auto* button = new QPushButton(text, this);
    button->setAutoDefault(false);
    button->setDefault(false);
    place(button, id, x, y, w, h);
    connect(button, &QPushButton::clicked, this, [this, id] { command(id); });
    return button;
}

QCheckBox* TemplateDialog::addCheckBox(int id, const QString& text, int x, int y, int w, int h) {
    auto* box = new QCheckBox(text, this);
    place(box, id, x, y, w, h);
    connect(box, &QCheckBox::clicked, this, [this, id] { command(id); });
    return box;
}

namespace {

class CommandCheckBox : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    void nextCheckState() override {}
};

} // namespace

QCheckBox* TemplateDialog::addCommandCheckBox(int id, const QString& text, int x, int y, int w, int h) {
    auto* box = new CommandCheckBox(text, this);
    place(box, id, x, y, w, h);
    connect(box, &QCheckBox::clicked, this, [this, id] { command(id); });
    return box;
}

PlainRadioButton* TemplateDialog::addRadio(int id, const QString& text, int x, int y, int w, int h) {
    auto* radio = new PlainRadioButton(text, this);
    radio->setAutoExclusive(false);
    place(radio, id, x, y, w, h);
    connect(radio, &QRadioButton::clicked, this, [this, id] { command(id); });
    return radio;
}

QGroupBox* TemplateDialog::addGroupBox(int id, const QString& text, int x, int y, int w, int h) {
    auto* box = new QGroupBox(text, this);
    box->setFocusPolicy(Qt::NoFocus);
    // The frame runs through the middle of the title, which interrupts it, as on a classic dialog.
    box->setStyleSheet(
        QStringLiteral("QGroupBox { border: 1px solid palette(mid); margin-top: %1px; }"
                       "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
                       " left: %2px; padding: 0px 2px; top: %3px; }")
            .arg(box->fontMetrics().height() / 2)
            .arg(units_.x(3))
            .arg(0));
    place(box, id, x, y, w, h);
    box->lower();
    return box;
}

Trackbar* TemplateDialog::addTrackbar(int id, int x, int y, int w, int h) {
    auto* trackbar = new Trackbar(this);
    place(trackbar, id, x, y, w, h);
    connect(trackbar, &Trackbar::endTrack, this, [this, id] { trackbarEndTrack(id); });
    return trackbar;
}

QString TemplateDialog::editText(int id) const {
    auto* edit = qobject_cast<QLineEdit*>(control(id));
    return edit ? edit->text() : QString();
}

void TemplateDialog::setEditText(int id, const QString& text) {
    if (auto* edit = qobject_cast<QLineEdit*>(control(id)))
        edit->setText(text);
}

bool TemplateDialog::isChecked(int id) const {
    auto* button = qobject_cast<QAbstractButton*>(control(id));
    return button && button->isCheckable() && button->isChecked();
}

void TemplateDialog::setChecked(int id, bool checked) {
    if (auto* button = qobject_cast<QAbstractButton*>(control(id)))
        button->setChecked(checked);
}

void TemplateDialog::checkRadio(int first, int last, int id) {
    for (int i = first; i <= last; ++i)
        setChecked(i, i == id);
}

void TemplateDialog::checkRadioIndex(int first, int last, long long index) {
    const bool inside = index >= 0 && index <= static_cast<long long>(last) - first;
    checkRadio(first, last, inside ? first + static_cast<int>(index) : first - 1);
}

QFont TemplateDialog::scaledFont(const QFont& font, int classicPixelHeight, QFont::Weight weight) const {
    QFont scaled(font);
    scaled.setWeight(weight);
    const int wanted = (classicPixelHeight * QFontMetrics(this->font()).height() + kClassicFontHeight / 2) /
                       kClassicFontHeight;
    // Pixel size is the em height; find the one whose line height comes closest to the wanted one.
    int pixelSize = wanted > 1 ? wanted : 1;
    scaled.setPixelSize(pixelSize);
    const int lineHeight = QFontMetrics(scaled).height();
    if (lineHeight > 0) {
        pixelSize = (wanted * pixelSize + lineHeight / 2) / lineHeight;
        scaled.setPixelSize(pixelSize > 1 ? pixelSize : 1);
    }
    return scaled;
}

void TemplateDialog::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && mods == Qt::NoModifier) {
        // A focused push button is the default button for the moment; otherwise Enter means Ok.
        if (auto* button = qobject_cast<QPushButton*>(focusWidget()); button && isAncestorOf(button))
            button->click();
        else
            command(1);
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Escape && mods == Qt::NoModifier) {
        command(2);
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
