// A port with a row of push buttons. A pressed button is a one-shot value:
// getValue() reports it until the owner has fired.
#pragma once
#include <mc/QxGuardedPtr.h>
#include <ports/HxPort.h>

#include <string>
#include <vector>

class QPushButton;

class HxPortButtonList : public HxPort {
    MC_ABSTRACT_HEADER(HxPortButtonList)

public:
    // A negative count is taken as 0.
    HxPortButtonList(HxBase* owner, const char* name, const QString& label, int nButtons);
    ~HxPortButtonList() override;

    int getNumButtons() const { return static_cast<int>(buttonLabels.size()); }

    // The port's own label stays reachable beside the buttons' labels.
    using HxPort::getLabel;
    using HxPort::setLabel;
    // Label of button i; an index outside the buttons is ignored.
    void setLabel(int button, const QString& text);
    QString getLabel(int button) const;
    // Tooltip of button i (the port's own when none is set); an index outside the buttons is ignored.
    void setToolTip(int button, const QString& text);
    using HxPort::setToolTip;

    // The button pressed since the owner last fired, or -1.
    int getValue() const { return pressed; }
    // Presses button i: marks the port new and tells the owner, which reacts when
    // it fires. Returns false, changing nothing, for an index outside the buttons.
    bool hit(int button);

    void untouch() override;
    void guiCallback() override;
    int parse(Tcl_Interp* interp, int argc, char** argv) override;

protected:
    void createControls(QWidget* row) override;
    // Presses the button whose click reached guiCallback(); false when there was
    // none or it could not be pressed.
    bool deliverClick();
    // Reads a whole-word index; false for anything else (also beyond int).
    static bool parseIndex(const char* word, int& index);
    // "(buttons are numbered 0 to 2)", or "(the port has no buttons)".
    static std::string validRange(const char* what, int count);

private:
    std::vector<QString> buttonLabels;
    std::vector<QString> buttonTips;
    int pressed = -1;
    // The button whose click is being delivered to guiCallback(), or -1.
    int clickedButton = -1;
    std::vector<QxGuardedPtr<QPushButton>> buttonWidgets;
};
