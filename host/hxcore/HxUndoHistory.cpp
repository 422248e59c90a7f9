#include <hxcore/HxUndoHistory.h>

#include <QUndoStack>

HxUndoHistory* HxUndoHistory::instance() {
    // Never destroyed: data objects may go after static destruction has begun.
    static auto* history = new HxUndoHistory;
    return history;
}

QUndoStack* HxUndoHistory::stackFor(const HxData* data) {
    QUndoStack*& stack = stacks[data];
    if (stack) return stack;
    stack = new QUndoStack(this);
    addStack(stack);
    connect(stack, &QUndoStack::indexChanged, this, &HxUndoHistory::changed);
    connect(stack, &QUndoStack::cleanChanged, this, &HxUndoHistory::changed);
    return stack;
}

void HxUndoHistory::forget(const HxData* data) {
    const auto found = stacks.find(data);
    if (found == stacks.end()) return;
    QUndoStack* stack = found->second;
    stacks.erase(found);
    const bool mattered = !stack->isClean();
    removeStack(stack);
    delete stack;
    if (mattered) emit changed();
}

void HxUndoHistory::markSaved(const HxData* data) {
    for (auto& [owner, stack] : stacks)
        if (!data || owner == data) stack->setClean();
}

bool HxUndoHistory::unsaved() const {
    for (const auto& entry : stacks)
        if (!entry.second->isClean()) return true;
    return false;
}

void HxUndoHistory::setSessionFile(const std::string& file) {
    if (file == session) return;
    session = file;
    emit changed();
}
