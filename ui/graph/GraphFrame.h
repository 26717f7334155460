#pragma once

#include <QFrame>

class AppModel;
class EncoderGraph;

// Control 200 of the main dialog: a bordered child with scroll bars that scroll nothing, holding the
// encoder graph. UI thread.
class GraphFrame : public QFrame {
    Q_OBJECT
public:
    GraphFrame(AppModel* model, QWidget* parent);
    EncoderGraph* graph() const { return graph_; }

private:
    EncoderGraph* graph_; // owned as a child
};
