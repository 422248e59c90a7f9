// Base of ports: a named, labelled input of an object with a widget row and
// script access. A port is a member of its owner and registers itself with it.
#pragma once
#include <mc/McTypeMacros.h>

#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdio>
#include <string>

class HxBase;
class HxPort;
class QWidget;
struct Tcl_Interp;

// Forwards Qt signals of a port's widgets to the port's guiCallback(). The
// typed slots first record the signal's argument, which guiCallback() can then
// read back (for example the id of a clicked button).
class HxPortRelay : public QObject {
    Q_OBJECT
public:
    explicit HxPortRelay(HxPort* owner) : port(owner) {}
    int getLastInt() const { return lastInt; }
    float getLastFloat() const { return lastFloat; }
public slots:
    void guiCallback();
    void slot(int value);
    void slot(float value);

private:
    HxPort* port;
    int lastInt = -1;
    float lastFloat = 0;
};

class HxPort : public McTypedObject {
    MC_ABSTRACT_HEADER(HxPort)

public:
    HxPort(HxBase* owner, const char* name, const QString& label);
    ~HxPort() override;
    HxPort(const HxPort&) = delete;
    HxPort& operator=(const HxPort&) = delete;

    HxBase* getOwner() const { return owner; }
    const char* getName() const { return name.c_str(); }
    const QString& getLabel() const { return label; }
    void setLabel(const QString& text) { label = text; }
    void setToolTip(const QString& text) { toolTip = text; }
    const QString& getToolTip() const { return toolTip; }

    // A hidden port's widget row is hidden too.
    void show() { setVisible(true); }
    void hide() { setVisible(false); }
    bool isVisible() const { return visible; }

    // New-flags: set by touch() and by value changes, cleared after the owner fired.
    bool isNew(unsigned int mask = 0xffffffff) const { return (newFlags & mask) != 0; }
    virtual void touch(unsigned int mask = 0xffffffff) { newFlags |= mask; }
    // Ports that hold a one-shot value (a pressed button) drop it here too.
    virtual void untouch() { newFlags = 0; }

    // Whether a saved network fires the owner right after restoring this port's
    // value, so that the object reacts to it as to a user change.
    void setFireOnSaveNetwork(bool on) { fireOnSaveNetwork = on; }
    bool getFireOnSaveNetwork() const { return fireOnSaveNetwork; }

    // Builds the port's widget row under `parent` (the label, and the port's
    // controls from createControls()). The row belongs to its parent widget.
    QWidget* createWidget(QWidget* parent);
    // Called when a widget of the port changed; reads the widgets back.
    virtual void guiCallback() {}

    // Script access; argv[0] is the port's name, argv[1] the command word.
    virtual int parse(Tcl_Interp* interp, int argc, char** argv);
    // The value in the form saveCommand() accepts, or empty when the port has none.
    virtual std::string valueForSave() const { return {}; }
    // The port command that restores valueForSave() in a saved network.
    virtual const char* saveCommand() const { return "setValue"; }
    // Writes the saved-network lines that restore the port of object `objectName`
    // (by default one saveCommand() line); false when the port has nothing to save.
    virtual bool writeSaveLines(FILE* fp, const char* objectName) const;

protected:
    virtual void createControls(QWidget* row) { (void)row; }
    HxPortRelay* relay() { return &relayObject; }
    // Marks the port new and tells the owner it changed.
    void valueChanged();

private:
    friend class HxBase;
    void setVisible(bool on);
    QPointer<QWidget> widgetRow;
    HxBase* owner;
    std::string name;
    QString label;
    QString toolTip;
    bool visible = true;
    bool fireOnSaveNetwork = false;
    unsigned int newFlags = 0;
    HxPortRelay relayObject{this};
};
