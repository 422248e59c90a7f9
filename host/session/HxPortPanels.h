// The port panels of the session's objects: one widget per object, with a row
// per port, built as the pool announces the object (when a widget application
// exists) and deleted when the object leaves the pool. Ports of packages keep
// state in their widgets, so the panels exist in batch too, not only in the
// window, which shows the selected object's panel.
#pragma once

class HxBase;
class QWidget;

class HxPortPanels {
public:
    // Starts following the object pool; called once, by HxSession::start().
    static void followPool();
    // The panel of `object`, or null. Owned here: a widget that shows it
    // gives it back (QScrollArea::takeWidget) rather than deleting it.
    static QWidget* find(const HxBase* object);
};
