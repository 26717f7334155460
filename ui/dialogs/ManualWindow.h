#pragma once

#include <QWidget>

class QTextBrowser;

// The user manual shown inside the program: its Markdown rendered by Qt, so that no Markdown viewer is
// needed. Web links open in the browser; links to other local documents open in the window itself.
// A top-level window of its own that stays open beside the main dialog. UI thread only.
class ManualWindow : public QWidget {
    Q_OBJECT
public:
    // Shows the document at path; title says what it is ("User manual", "README").
    ManualWindow(const QString& path, const QString& title, QWidget* parent);

    QTextBrowser* browser() const { return browser_; }
    // False when the document could not be read (the window then says where it looked).
    bool loaded() const { return loaded_; }

private:
    QTextBrowser* browser_;
    bool loaded_ = false;
};
