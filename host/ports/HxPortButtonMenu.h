// A port with a row of push buttons and one option menu. A pressed button is a
// one-shot value: getValue() reports it until the owner has fired. The option
// is the port's lasting value, kept in saved networks.
#pragma once
#include <mc/QxGuardedPtr.h>
#include <ports/HxPort.h>

#include <vector>

class QComboBox;
class QPushButton;

class HxPortButtonMenu : public HxPort {
    MC_ABSTRACT_HEADER(HxPortButtonMenu)

public:
    // Negative counts are taken as 0. The first option is selected.
    HxPortButtonMenu(HxBase* owner, const char* name, const QString& label, int nButtons, int nOptions);
    ~HxPortButtonMenu() override;

    int getNumButtons() const { return static_cast<int>(buttonLabels.size()); }
    int getNumOptions() const { return static_cast<int>(optionLabels.size()); }

    // The port's own label stays reachable beside the buttons' labels.
    using HxPort::getLabel;
    using HxPort::setLabel;
    // Label of button i; an index outside the buttons is ignored.
    void setLabel(int button, const QString& text);
    QString getLabel(int button) const;
    // Label of option i; an index outside the options is ignored.
    void setOptLabel(int option, const QString& text);
    QString getOptLabel(int option) const;

    // The button pressed since the owner last fired, or -1.
    int getValue() const { return pressed; }
    // Presses button i: marks the port new and tells the owner, which reacts when
    // it fires. Returns false, changing nothing, for an index outside the buttons.
    bool hit(int button);

    // The selected option, or -1 when the port has no options. The port has a
    // single menu: `which` other than 0 gives -1.
    int getOptValue(int which = 0) const { return which == 0 ? option : -1; }
    // Selects option i and marks the port new. Returns false, changing nothing,
    // for an index outside the options.
    bool setOptValue(int index);

    void untouch() override;
    void guiCallback() override;
    int parse(Tcl_Interp* interp, int argc, char** argv) override;
    std::string valueForSave() const override;
    const char* saveCommand() const override { return "setOptValue"; }

protected:
    void createControls(QWidget* row) override;

private:
    std::vector<QString> buttonLabels;
    std::vector<QString> optionLabels;
    int pressed = -1;
    int option;
    // The button whose click is being delivered to guiCallback(), or -1.
    int clickedButton = -1;
    std::vector<QxGuardedPtr<QPushButton>> buttonWidgets;
    QxGuardedPtr<QComboBox> menuWidget;
};
