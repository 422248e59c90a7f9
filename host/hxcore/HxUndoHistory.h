// The session's undo history and what it has not saved. Each data object whose
// changes can be undone has one undo stack, made on first use and dropped with
// the object, so its history outlives the editing that made it. The stack of
// the data being edited is the group's active one: the one Edit > Undo, the
// keys and the "undo" and "redo" commands act on (its editor sets it).
//
// A stack away from its clean state holds unsaved changes; saving the object,
// or the whole network, marks it clean.
#pragma once
#include <QUndoGroup>
#include <map>
#include <string>

class HxData;
class QUndoStack;

class HxUndoHistory : public QUndoGroup {
    Q_OBJECT

public:
    // The session's one history (made on first use).
    static HxUndoHistory* instance();

    // The stack of `data`, made on first use; owned by the history.
    QUndoStack* stackFor(const HxData* data);
    // Drops the stack of `data` (when the object goes away).
    void forget(const HxData* data);
    // Marks the stack of `data` as saved; null marks every stack.
    void markSaved(const HxData* data = nullptr);
    // Whether some stack holds a change made after its last save.
    bool unsaved() const;

    // The network script of the session: the one last saved or run (empty for none).
    const std::string& sessionFile() const { return session; }
    void setSessionFile(const std::string& file);

signals:
    // A step was done, undone or redone, something was saved, or the session file changed.
    void changed();

private:
    std::map<const HxData*, QUndoStack*> stacks;
    std::string session;
};

#define theUndoHistory (HxUndoHistory::instance())
