#include "ui/graph/GraphFrame.h"

#include "ui/graph/EncoderGraph.h"

#include <QGridLayout>
#include <QScrollBar>

GraphFrame::GraphFrame(AppModel* model, QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(0);
    graph_ = new EncoderGraph(model, this);
    auto* vertical = new QScrollBar(Qt::Vertical, this);
    auto* horizontal = new QScrollBar(Qt::Horizontal, this);
    for (QScrollBar* bar : {vertical, horizontal}) {
        bar->setRange(0, 0);
        bar->setEnabled(false);
        bar->setFocusPolicy(Qt::NoFocus);
    }
    layout->addWidget(graph_, 0, 0);
    layout->addWidget(vertical, 0, 1);
    layout->addWidget(horizontal, 1, 0);
}
