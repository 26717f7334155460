#include "ui/main/PortList.h"

#include "ui/main/VirtualController.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFontMetrics>
#include <QLineEdit>

#include <algorithm>

PortList::PortList(VirtualController* virtualController, Lister lister)
    : virtualController_(virtualController), lister_(std::move(lister)) {
    if (!lister_)
        lister_ = [] { return listSerialDevices(); };
}

void PortList::fill(QComboBox* box) {
    box_ = box;
    box_->setEditable(true);
    // Typed paths are added by resolve, after they were used.
    box_->setInsertPolicy(QComboBox::NoInsert);
#ifdef _WIN32
    box_->lineEdit()->setPlaceholderText(QStringLiteral("COM..."));
#else
    box_->lineEdit()->setPlaceholderText(QStringLiteral("/dev/tty..."));
#endif
    QObject::connect(box_, &QComboBox::currentIndexChanged, box_, [this](int index) {
        box_->setToolTip(index >= 0 ? box_->itemData(index, Qt::ToolTipRole).toString() : QString());
        // The narrow box shows the start of a long name.
        box_->lineEdit()->setCursorPosition(0);
    });
    rebuild({});
    // Without a real device the virtual controller is the first entry, and so the selected one.
    if (box_->count() > 0)
        box_->setCurrentIndex(0);
}

void PortList::refresh() {
    if (box_ == nullptr)
        return;
    const int index = box_->currentIndex();
    // A path being typed, not yet connected to, is not thrown away by a new list.
    const QString text = box_->currentText();
    const bool typing = !text.trimmed().isEmpty() && (index < 0 || text != box_->itemText(index));
    rebuild(index == virtualIndex_ ? std::string(kVirtualName) : pathAt(index));
    if (typing)
        box_->setEditText(text);
}

void PortList::rebuild(const std::string& keepPath) {
    entries_ = lister_();
    std::vector<SerialDeviceEntry> typedEntries;
    for (const std::string& path : typed_) {
        const bool listed = std::any_of(entries_.begin(), entries_.end(), [&](const SerialDeviceEntry& e) {
            return e.path == path || e.devicePath == path || e.byIdPath == path;
        });
        if (!listed)
            typedEntries.push_back({path, path, {}, path, {}, {}});
    }
    // The virtual entry needs a number of its own. When the numbers run out, the listed devices give
    // way to the typed paths, which the user asked for by name.
    const size_t limit = static_cast<size_t>(virtualController_ ? kMaxPorts - 1 : kMaxPorts);
    const size_t room = limit > typedEntries.size() ? limit - typedEntries.size() : 0;
    if (entries_.size() > room)
        entries_.resize(room);
    entries_.insert(entries_.end(), typedEntries.begin(), typedEntries.end());
    if (entries_.size() > limit)
        entries_.resize(limit);

    box_->blockSignals(true);
    box_->clear();
    int widest = 0;
    const QFontMetrics metrics(box_->font());
    // The tool tip names the whole entry (the box is too narrow for long names) and what it is.
    auto add = [&](const QString& label, const QString& about) {
        box_->addItem(label);
        box_->setItemData(box_->count() - 1, about.isEmpty() || about == label ? label : label + "\n" + about,
                          Qt::ToolTipRole);
        widest = std::max(widest, metrics.horizontalAdvance(label));
    };
    for (const SerialDeviceEntry& entry : entries_)
        add(QString::fromStdString(entry.label), QString::fromStdString(entry.path));
    virtualIndex_ = -1;
    if (virtualController_) {
        add(QString::fromLatin1(VirtualController::kLabel),
            QStringLiteral("An RZ4 emulated inside this program"));
        virtualIndex_ = box_->count() - 1;
    }
    // The closed box is narrow; the open list is wide enough for whole names, and the box's tool tip
    // names the whole entry.
    box_->view()->setMinimumWidth(widest + 40);
    const int keep = keepPath.empty() ? -1 : indexOfPath(keepPath);
    box_->setCurrentIndex(keep >= 0 ? keep : (box_->count() > 0 ? 0 : -1));
    box_->blockSignals(false);
    box_->lineEdit()->setCursorPosition(0);
    box_->setToolTip(box_->currentIndex() >= 0
                         ? box_->itemData(box_->currentIndex(), Qt::ToolTipRole).toString()
                         : QString());
}

std::string PortList::pathAt(int index) const {
    return index >= 0 && static_cast<size_t>(index) < entries_.size()
               ? entries_[static_cast<size_t>(index)].path
               : std::string();
}

int PortList::indexOfPath(const std::string& path) const {
    if (path == kVirtualName)
        return virtualIndex_;
    for (size_t i = 0; i < entries_.size(); ++i) {
        const SerialDeviceEntry& e = entries_[i];
        if (e.path == path || e.devicePath == path || e.byIdPath == path)
            return static_cast<int>(i);
    }
    return -1;
}

void PortList::select(const std::string& path) {
    if (box_ == nullptr || path.empty())
        return;
    int index = indexOfPath(path);
    if (index < 0) {
        typed_.push_back(path);
        rebuild(path);
        index = indexOfPath(path);
    }
    if (index >= 0)
        box_->setCurrentIndex(index);
}

PortList::Choice PortList::resolve() {
    Choice choice;
    if (box_ == nullptr)
        return choice;
    // The box's text is either the chosen entry's label or a path the user typed.
    const int current = box_->currentIndex();
    const QString text = box_->currentText().trimmed();
    if (current < 0 || text != box_->itemText(current)) {
        if (text.isEmpty()) {
            choice.error = "no port chosen: pick one from the list or type a device path";
            return choice;
        }
        select(text.toStdString());
    }
    const int index = box_->currentIndex();
    if (index < 0) {
        choice.error = "the list of ports is full";
        return choice;
    }
    choice.port = static_cast<uint32_t>(index) + 1;
    if (index == virtualIndex_) {
        // The emulator's line (a pseudo-terminal, on Windows an in-process line) opens like a port.
        if (!virtualController_->ensureStarted())
            choice.error = virtualController_->lastError();
        else
            choice.path = virtualController_->slavePath();
    } else {
        choice.path = pathAt(index);
    }
    return choice;
}
