#pragma once

#include <QString>

#include <cstdint>
#include <functional>

class AppModel;
class QWidget;

// When the stored raw records that no export has written are about to be lost (the program ends, an
// opened log replaces them, or a new connection empties the export area), asks whether to discard them, stay
// or export them first. Once the raw area was full, later records were kept for the graph only: the question
// says so, and counts only what an export can still write. UI thread.
class ExitGuard {
public:
    enum class Answer { Discard, Stay, ExportAndQuit };
    // What would lose the records.
    enum class Loss { Quit, OpenLog, Connect };
    // Asks the question for this many records. Tests set one that answers at once.
    using Question = std::function<Answer(uint32_t unexported)>;

    void setQuestion(Question question) { question_ = std::move(question); }

    // Whether the records may go now without asking.
    static bool nothingToLose(const AppModel& model);
    // Asks (message box, or the question set by tests). plain: no coloured icon (night mode).
    Answer ask(QWidget* parent, const AppModel& model, bool plain, Loss loss = Loss::Quit) const;
    // The question's text.
    static QString questionText(const AppModel& model, Loss loss = Loss::Quit);

private:
    Question question_;
};
