#include "ui/dialogs/ManualWindow.h"

#include <QDir>
#include <QFile>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

ManualWindow::ManualWindow(const QString& path, const QString& title, QWidget* parent)
    : QWidget(parent, Qt::Window), browser_(new QTextBrowser(this)) {
    setObjectName(QStringLiteral("manual"));
    setWindowTitle(QStringLiteral("Astrelvo - %1").arg(title));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(browser_);
    browser_->setOpenExternalLinks(true);
    QFile file(path);
    loaded_ = file.open(QIODevice::ReadOnly);
    if (loaded_) {
        browser_->setSource(QUrl::fromLocalFile(path), QTextDocument::MarkdownResource);
    } else {
        browser_->setPlainText(QStringLiteral("The manual could not be read from\n%1\n%2")
                                   .arg(QDir::toNativeSeparators(path), file.errorString()));
    }
    const QFontMetrics metrics(browser_->font());
    resize(metrics.averageCharWidth() * 100, metrics.height() * 40);
}
