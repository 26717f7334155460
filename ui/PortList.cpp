#include "ui/PortList.h"

#include "ui/VirtualController.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFontMetrics>

#include <algorithm>

void PortList::fill(QComboBox* box) {
    box_ = box;
    entries_ = listSerialDevices();
    // The virtual entry needs a number of its own.
    const size_t limit = static_cast<size_t>(virtualController_ ? kMaxPorts - 1 : kMaxPorts);
    if (entries_.size() > limit)
        entries_.resize(limit);
    int widest = 0;
    const QFontMetrics metrics(box_->font());
    auto add = [&](const QString& label, const QString& tip) {
        box_->addItem(label);
        box_->setItemData(box_->count() - 1, tip, Qt::ToolTipRole);
        widest = std::max(widest, metrics.horizontalAdvance(label));
    };
    for (const SerialDeviceEntry& entry : entries_)
        add(QString::fromStdString(entry.label), QString::fromStdString(entry.path));
    if (virtualController_) {
        add(QString::fromLatin1(VirtualController::kLabel),
            QStringLiteral("An RZ4 emulated inside this program, on a pseudo-terminal"));
        virtualIndex_ = box_->count() - 1;
    }
    // The closed box is narrow; the open list is wide enough for whole names, and the box's tool tip
    // names the whole entry.
    box_->view()->setMinimumWidth(widest + 40);
    QObject::connect(box_, &QComboBox::currentIndexChanged, box_,
                     [this](int index) { box_->setToolTip(index >= 0 ? box_->itemText(index) : QString()); });
    // Without a real device the virtual controller is the first entry, and so the selected one.
    if (box_->count() > 0)
        box_->setCurrentIndex(0);
    box_->setToolTip(box_->currentText());
}

PortList::Choice PortList::resolve() const {
    Choice choice;
    const int index = box_ != nullptr ? box_->currentIndex() : -1;
    if (index < 0)
        return choice;
    choice.port = static_cast<uint32_t>(index) + 1;
    if (index == virtualIndex_) {
        // The emulator's pseudo-terminal is opened like any serial device.
        if (!virtualController_->ensureStarted())
            choice.error = virtualController_->lastError();
        else
            choice.path = virtualController_->slavePath();
    } else if (static_cast<size_t>(index) < entries_.size()) {
        choice.path = entries_[static_cast<size_t>(index)].path;
    }
    return choice;
}
