#include "ui/dialogs/GuideSectionDialog.h"

#include "model/logs/LoadedLog.h"

#include <QListWidget>

GuideSectionDialog::GuideSectionDialog(QWidget* owner, const QString& fileName,
                                       const std::vector<LogSection>& sections, uint32_t chosen)
    : TemplateDialog(owner, QStringLiteral("Choose a guiding section"), 260, 150), section_(chosen) {
    addWrappedStatic(IdQuestion,
                     QStringLiteral("%1 holds %2 guiding sections. The longest is chosen; pick another to "
                                    "analyse it instead:")
                         .arg(fileName)
                         .arg(sections.size()),
                     6, 6, 248, 20);
    list_ = new QListWidget(this);
    list_->setObjectName(QString::number(IdList));
    list_->setGeometry(units().rect(6, 30, 248, 94));
    for (const LogSection& s : sections) {
        auto* item = new QListWidgetItem(lineText(s), list_);
        item->setData(Qt::UserRole, s.number);
        if (!s.usable)
            item->setFlags(item->flags() & ~(Qt::ItemIsEnabled | Qt::ItemIsSelectable));
        if (s.number == chosen)
            list_->setCurrentItem(item);
    }
    connect(list_, &QListWidget::itemDoubleClicked, this, [this] { command(IdOk); });
    addButton(IdOk, QStringLiteral("Ok"), 138, 130, 56, 16);
    addButton(IdCancel, QStringLiteral("Cancel"), 198, 130, 56, 16);
}

QString GuideSectionDialog::lineText(const LogSection& s) {
    const QString started = s.started.empty() ? QStringLiteral("?") : QString::fromStdString(s.started);
    if (!s.usable)
        return QStringLiteral("Section %1: %2, no usable frames (line %3)")
            .arg(s.number)
            .arg(started)
            .arg(s.line);
    return QStringLiteral("Section %1: %2, %3 frames (line %4)")
        .arg(s.number)
        .arg(started)
        .arg(s.frames)
        .arg(s.line);
}

void GuideSectionDialog::pick(uint32_t number) {
    for (int i = 0; i < list_->count(); ++i) {
        QListWidgetItem* item = list_->item(i);
        if (item->data(Qt::UserRole).toUInt() == number && (item->flags() & Qt::ItemIsSelectable))
            list_->setCurrentItem(item);
    }
}

bool GuideSectionDialog::command(int id) {
    switch (id) {
    case IdOk:
        if (QListWidgetItem* item = list_->currentItem();
            item != nullptr && (item->flags() & Qt::ItemIsSelectable))
            section_ = item->data(Qt::UserRole).toUInt();
        done(1);
        return true;
    case IdCancel:
        done(0);
        return true;
    default:
        return false;
    }
}
