// Ends editing when the path viewer's window is hidden (the user closed it).
// Installed by the editor as an event filter on the viewer's widget; owned by
// the editor, which deletes it when editing ends.
#pragma once
#include <QObject>

class HxEditor;

class HideEventCatcher : public QObject {
public:
    explicit HideEventCatcher(HxEditor* editor);
    ~HideEventCatcher() override;

    // On QEvent::Hide, detaches the editor. Never consumes the event.
    bool eventFilter(QObject* watched, QEvent* event) override;

    // Deletes the catcher now, or, while its own eventFilter() runs (editing
    // ended from inside it), as soon as that call is over.
    void dispose();

    HxEditor* editor;

private:
    bool filtering = false;
    bool disposeWhenDone = false;
};
