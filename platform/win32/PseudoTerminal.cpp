#include "platform/PseudoTerminal.h"

// Windows has no pseudo-terminals; its peers use a LoopbackLine or a COM port pair instead.
struct PseudoTerminal::State {};

PseudoTerminal::PseudoTerminal() : state_(std::make_unique<State>()) {}

PseudoTerminal::~PseudoTerminal() = default;

bool PseudoTerminal::supported() {
    return false;
}

bool PseudoTerminal::open(bool) {
    return false;
}

void PseudoTerminal::close() {
    slavePath_.clear();
}

int PseudoTerminal::master() const {
    return -1;
}

iSerialLine* PseudoTerminal::masterLine() {
    return nullptr;
}
