#include "HideEventCatcher.h"

#include <hxcore/HxEditor.h>

#include <QEvent>

HideEventCatcher::HideEventCatcher(HxEditor* editorToDetach) : editor(editorToDetach) {}

HideEventCatcher::~HideEventCatcher() = default;

bool HideEventCatcher::eventFilter(QObject* /*watched*/, QEvent* event) {
    if (event->type() != QEvent::Hide || filtering) return false;
    filtering = true;
    // Detaching ends editing, which disposes of this catcher: it is deleted
    // below, once nothing of this call needs it any more.
    editor->detach();
    filtering = false;
    if (disposeWhenDone) delete this;
    return false;
}

void HideEventCatcher::dispose() {
    if (filtering)
        disposeWhenDone = true;
    else
        delete this;
}
