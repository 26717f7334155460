#pragma once

#include <functional>

class QWidget;

// Runs work on a thread of its own and waits for it without freezing the program. Short work (up to
// kQuietMs) is simply waited for; longer work disables the window (no input reaches it) and shows the
// busy cursor, while events go on being handled, so the windows repaint and the engine's notices arrive.
// Returns when the work is done. Call on the UI thread; work must not touch widgets.
void runInBackground(QWidget* window, const std::function<void()>& work);

inline constexpr int kQuietMs = 150;
