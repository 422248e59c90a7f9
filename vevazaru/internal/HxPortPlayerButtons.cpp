#include "HxPortPlayerButtons.h"

#include <hxcore/HxCmd.h>
#include <ports/HxPortTypeInfo.h>

#include <QBitmap>
#include <QButtonGroup>
#include <QHBoxLayout>
#include <QIcon>
#include <QLayout>
#include <QPushButton>
#include <QWidget>
#include <tcl.h>

// Only the editor constructs the port: the host gets no factories.
HX_INIT_PORT_CLASS(HxPortPlayerButtons, HxPort::getClassTypeId(), nullptr, nullptr)

static const unsigned char playbwd_bits[] = {0x00, 0x00, 0x00, 0x00, 0x00, 0x0c, 0x00, 0x0f, 0xc0, 0x0f, 0xf0,
                                             0x0f, 0xfc, 0x0f, 0xff, 0x0f, 0xff, 0x0f, 0xfc, 0x0f, 0xf0, 0x0f,
                                             0xc0, 0x0f, 0x00, 0x0f, 0x00, 0x0c, 0x00, 0x00, 0x00, 0x00};
static const unsigned char jmpbwd_bits[] = {0x00, 0x00, 0x00, 0x00, 0x04, 0x30, 0x04, 0x3c, 0x04, 0x3f, 0xc4,
                                            0x3f, 0xf4, 0x3f, 0xfc, 0x3f, 0xfc, 0x3f, 0xf4, 0x3f, 0xc4, 0x3f,
                                            0x04, 0x3f, 0x04, 0x3c, 0x04, 0x30, 0x00, 0x00, 0x00, 0x00};
static const unsigned char stepbwd_bits[] = {0x00, 0x00, 0x00, 0x00, 0x00, 0x28, 0x00, 0x2e, 0x80, 0x2f, 0xe0,
                                             0x2f, 0xf8, 0x2f, 0xfc, 0x2f, 0xfc, 0x2f, 0xf8, 0x2f, 0xe0, 0x2f,
                                             0x80, 0x2f, 0x00, 0x2e, 0x00, 0x28, 0x00, 0x00, 0x00, 0x00};
static const unsigned char stop_bits[] = {0x00, 0x00, 0x00, 0x00, 0xfc, 0x3f, 0x04, 0x20, 0xf4, 0x2f, 0xf4,
                                          0x2f, 0xf4, 0x2f, 0xf4, 0x2f, 0xf4, 0x2f, 0xf4, 0x2f, 0xf4, 0x2f,
                                          0xf4, 0x2f, 0x04, 0x20, 0xfc, 0x3f, 0x00, 0x00, 0x00, 0x00};
static const unsigned char stepfwd_bits[] = {0x00, 0x00, 0x00, 0x00, 0x14, 0x00, 0x74, 0x00, 0xf4, 0x01, 0xf4,
                                             0x07, 0xf4, 0x1f, 0xf4, 0x3f, 0xf4, 0x3f, 0xf4, 0x1f, 0xf4, 0x07,
                                             0xf4, 0x01, 0x74, 0x00, 0x14, 0x00, 0x00, 0x00, 0x00, 0x00};
static const unsigned char jmpfwd_bits[] = {0x00, 0x00, 0x00, 0x00, 0x0c, 0x20, 0x3c, 0x20, 0xfc, 0x20, 0xfc,
                                            0x23, 0xfc, 0x2f, 0xfc, 0x3f, 0xfc, 0x3f, 0xfc, 0x2f, 0xfc, 0x23,
                                            0xfc, 0x20, 0x3c, 0x20, 0x0c, 0x20, 0x00, 0x00, 0x00, 0x00};
static const unsigned char play_bits[] = {0x00, 0x00, 0x00, 0x00, 0x0c, 0x00, 0x3c, 0x00, 0xfc, 0x00, 0xfc,
                                          0x03, 0xfc, 0x0f, 0xfc, 0x3f, 0xfc, 0x3f, 0xfc, 0x0f, 0xfc, 0x03,
                                          0xfc, 0x00, 0x3c, 0x00, 0x0c, 0x00, 0x00, 0x00, 0x00, 0x00};

// Indexed by button id.
static const unsigned char* const buttonBits[HxPortPlayerButtons::numButtons] = {
    playbwd_bits, jmpbwd_bits, stepbwd_bits, stop_bits, stepfwd_bits, jmpfwd_bits, play_bits};

// Indexed by button id.
static const char* const buttonTips[HxPortPlayerButtons::numButtons] = {
    QT_TR_NOOP("Play backwards (press again to stop)"),
    QT_TR_NOOP("Jump to the previous keyframe"),
    QT_TR_NOOP("One time unit back"),
    QT_TR_NOOP("Stop playing"),
    QT_TR_NOOP("One time unit on"),
    QT_TR_NOOP("Jump to the next keyframe"),
    QT_TR_NOOP("Play (press again to stop); the speed is set in the Timing row")};

HxPortPlayerButtons::HxPortPlayerButtons(HxBase* portOwner, const char* scriptName, const QString& portLabel,
                                         HxPlayerControls* portEditor)
    : HxPort(portOwner, scriptName, portLabel), editor(portEditor) {}

HxPortPlayerButtons::~HxPortPlayerButtons() = default;

const unsigned char* HxPortPlayerButtons::iconBits(int id) {
    return id >= 0 && id < numButtons ? buttonBits[id] : nullptr;
}

void HxPortPlayerButtons::createControls(QWidget* row) {
    // A second row replaces the group; the first row's buttons then stay silent.
    group = std::make_unique<QButtonGroup>();
    auto* buttons = new QHBoxLayout();
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(5);
    for (int id = 0; id < numButtons; ++id) {
        auto* button = new QPushButton(row);
        button->setIcon(QIcon(QBitmap::fromData(QSize(16, 16), buttonBits[id], QImage::Format_MonoLSB)));
        button->setIconSize(QSize(16, 16));
        button->setToolTip(QObject::tr(buttonTips[id]));
        group->addButton(button, id);
        buttons->addWidget(button, 0);
    }
    row->layout()->addItem(buttons);
    if (!QObject::connect(group.get(), &QButtonGroup::idClicked, relay(), qOverload<int>(&HxPortRelay::slot)))
        qWarning("HxPortPlayerButtons: the buttons cannot reach the port");
}

void HxPortPlayerButtons::guiCallback() {
    if (!editor) return;
    switch (relay()->getLastInt()) {
        case 0:
            editor->playbwd();
            break;
        case 1:
            editor->jmpbwd();
            break;
        case 2:
            editor->stepbwd();
            break;
        case 3:
            editor->stop();
            break;
        case 4:
            editor->stepfwd();
            break;
        case 5:
            editor->jmpfwd();
            break;
        case 6:
            editor->play();
            break;
        default:
            break;
    }
}

int HxPortPlayerButtons::parse(Tcl_Interp* interp, int argc, char** argv) {
    const char* word = argc > 1 ? argv[1] : "help";
    if (cmdCheck(word, "hit", "hit i: presses button i (0 play backwards ... 6 play)")) {
        if (int r = cmdHelp(interp, word, argc == 3, argc, argv); r != TCL_CONTINUE) return r;
        long id = -1;
        if (!parseLong(argv[2], id) || id < 0 || id >= numButtons) {
            Tcl_VaSetResult(interp, "%s hit: no button \"%s\" (buttons are numbered 0 to %d)", getName(), argv[2],
                            numButtons - 1);
            return TCL_ERROR;
        }
        relay()->slot(static_cast<int>(id));
        return TCL_OK;
    }
    return HxPort::parse(interp, argc, argv);
}
