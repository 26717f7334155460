#pragma once

#include "ui/common/TemplateDialog.h"

#include <QLineEdit>
#include <QString>

// The text of the dialog's edit with this ID (the main dialog's status line 104, counter line 143, ...);
// "<no edit>" when the dialog has no such edit, so that a missing line never reads as an empty one.
inline QString lineText(const TemplateDialog& dialog, int id) {
    auto* edit = qobject_cast<QLineEdit*>(dialog.control(id));
    return edit ? edit->text() : QStringLiteral("<no edit>");
}
