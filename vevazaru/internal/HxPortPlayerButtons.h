// The keyframe camera path editor's player buttons: a port whose row holds seven
// media-player buttons (play backwards, jump to start, step backwards, stop,
// step forwards, jump to end, play). A click calls the matching operation of the
// editor. The port owns its button group; the buttons belong to the row.
#pragma once
#include <ports/HxPort.h>

#include <memory>

class QButtonGroup;

// The seven playback operations a click reaches, by button id 0..6.
class HxPlayerControls {
public:
    virtual ~HxPlayerControls() = default;
    virtual void playbwd() = 0;
    virtual void jmpbwd() = 0;
    virtual void stepbwd() = 0;
    virtual void stop() = 0;
    virtual void stepfwd() = 0;
    virtual void jmpfwd() = 0;
    virtual void play() = 0;
};

class HxPortPlayerButtons : public HxPort {
    MC_ABSTRACT_HEADER(HxPortPlayerButtons)

public:
    // Number of buttons; their ids run 0 .. numButtons - 1, left to right.
    static constexpr int numButtons = 7;

    // `owner` as for HxPort; `editor` receives the clicks (not owned, may be null).
    HxPortPlayerButtons(HxBase* owner, const char* name, const QString& label, HxPlayerControls* editor = nullptr);
    // Deletes the button group; the buttons stay with their row.
    ~HxPortPlayerButtons() override;

    HxPlayerControls* getEditor() const { return editor; }

    // The 16x16 icon of button `id`: 32 bytes, two per row from the top, least
    // significant bit leftmost, a set bit drawn. Null for an id outside 0..6.
    static const unsigned char* iconBits(int id);

    // Calls the editor operation of the button id the relay recorded last;
    // other ids are ignored.
    void guiCallback() override;
    // "hit i" presses button i as a click would.
    int parse(Tcl_Interp* interp, int argc, char** argv) override;

protected:
    // The seven buttons in a layout of their own (no margin, spacing 5),
    // appended to the row.
    void createControls(QWidget* row) override;

private:
    std::unique_ptr<QButtonGroup> group;
    HxPlayerControls* editor;
};
