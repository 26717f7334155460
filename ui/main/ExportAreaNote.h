#pragma once

#include "model/store/AppModel.h"

#include <QString>

// The lines that the exit question and the export notes add once the export area was full: how many
// later records the graph still shows though Export cannot write them, and how many were kept nowhere
// (too short to carry a sample, or the graph was full too). Empty while nothing was refused.
inline QString exportAreaNote(const AppModel& model) {
    QString text;
    const uint32_t shown =
        model.rawRefusedShown < model.rawRefused ? model.rawRefusedShown : model.rawRefused;
    if (shown > 0)
        text +=
            QStringLiteral("\n%1 later records were kept for the graph but not for export: the export area "
                           "was full.")
                .arg(shown);
    if (model.rawRefused > shown)
        text += QStringLiteral("\n%1 later records were kept neither for export nor for the graph.")
                    .arg(model.rawRefused - shown);
    return text;
}
