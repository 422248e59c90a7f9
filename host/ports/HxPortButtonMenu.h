// A port with a row of push buttons and one option menu. A pressed button is a
// one-shot value: getValue() reports it until the owner has fired. The option
// is the port's lasting value, kept in saved networks.
#pragma once
#include <ports/HxPortButtonList.h>

class QComboBox;

class HxPortButtonMenu : public HxPortButtonList {
    MC_ABSTRACT_HEADER(HxPortButtonMenu)

public:
    // Negative counts are taken as 0. The first option is selected.
    HxPortButtonMenu(HxBase* owner, const char* name, const QString& label, int nButtons, int nOptions);
    ~HxPortButtonMenu() override;

    int getNumOptions() const { return static_cast<int>(optionLabels.size()); }

    // Label of option i; an index outside the options is ignored.
    void setOptLabel(int option, const QString& text);
    QString getOptLabel(int option) const;

    // The selected option, or -1 when the port has no options. The port has a
    // single menu: `which` other than 0 gives -1.
    int getOptValue(int which = 0) const { return which == 0 ? option : -1; }
    // Selects option i and marks the port new. Returns false, changing nothing,
    // for an index outside the options.
    bool setOptValue(int index);

    void guiCallback() override;
    int parse(Tcl_Interp* interp, int argc, char** argv) override;
    std::string valueForSave() const override;
    const char* saveCommand() const override { return "setOptValue"; }

protected:
    void createControls(QWidget* row) override;

private:
    std::vector<QString> optionLabels;
    int option;
    QxGuardedPtr<QComboBox> menuWidget;
};
