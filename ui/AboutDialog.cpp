#include "ui/AboutDialog.h"

#include "ui/LinkLabel.h"

#include <QDesktopServices>
#include <QLabel>
#include <QUrl>

const char* const AboutDialog::kWebAddress = "https://astrelvo.example.org";
const char* const AboutDialog::kCreditLine = "Written by the Astrelvo developers.";

AboutDialog::AboutDialog(QWidget* owner) : TemplateDialog(owner, QStringLiteral("About Astrelvo"), 192, 105) {
    QLabel* title = addStatic(101, QStringLiteral("Astrelvo 1.1."), 8, 8, 180, 14, Qt::AlignLeft);
    title->setFont(scaledFont(title->font(), 16, QFont::Bold));
    addWrappedStatic(102,
                     QStringLiteral("This program can be used to measure the periodic error of a "
                                    "telescope mount and configure the closed loop control of the RZ4"),
                     8, 24, 180, 33);
    addStatic(103, QString::fromLatin1(kCreditLine), 8, 58, 180, 10, Qt::AlignLeft);

    auto* link = new LinkLabel(QString::fromLatin1(kWebAddress), this);
    link->setObjectName(QStringLiteral("104"));
    link->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    link->setGeometry(units().rect(10, 70, 160, 10));
    connect(link, &LinkLabel::clicked, this, [this] { command(104); });

    addButton(2, QStringLiteral("Exit"), 10, 85, 60, 16);
}

bool AboutDialog::command(int id) {
    switch (id) {
    case 1:
    case 2:
        done(1);
        return true;
    case 104:
        QDesktopServices::openUrl(QUrl(QString::fromLatin1(kWebAddress)));
        return true;
    default:
        return false;
    }
}
