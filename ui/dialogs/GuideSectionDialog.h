#pragma once

#include "ui/common/TemplateDialog.h"

#include <cstdint>
#include <vector>

struct LogSection;
class QListWidget;

// Lets the user pick one guiding section of a guide log: each line names the section, when it began,
// its usable frames and the line of the file it starts at; sections without usable frames cannot be
// picked. Opens on the section given (the longest). exec() returns 1 for Ok, 0 for Cancel. UI thread.
class GuideSectionDialog : public TemplateDialog {
    Q_OBJECT
public:
    // Control and command IDs.
    enum : int { IdOk = 1, IdCancel = 2, IdList = 100, IdQuestion = 1000 };

    GuideSectionDialog(QWidget* owner, const QString& fileName, const std::vector<LogSection>& sections,
                       uint32_t chosen);

    bool command(int id) override;

    // The section picked (1-based); the one given until Ok.
    uint32_t section() const { return section_; }
    // Picks section number (as a click on its line would).
    void pick(uint32_t number);

    static QString lineText(const LogSection& section);

private:
    QListWidget* list_;
    uint32_t section_;
};
