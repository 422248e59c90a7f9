// The window's movie dialog: which object's time port to step, which viewer to
// render, how many frames of what size, and where to write them. It composes
// the "movie" command; the window runs it.
#pragma once
#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;

class VornaMovieDialog : public QDialog {
    Q_OBJECT

public:
    // Offers the objects of the pool that have a time port, `preferred` first
    // chosen when it is one of them.
    explicit VornaMovieDialog(QWidget* parent = nullptr, const QString& preferred = {});

    // The movie command for the choices made; empty when there is no object
    // to animate.
    QString command() const;

private:
    void chooseFile();

    QComboBox* object;
    QSpinBox* viewer;
    QSpinBox* frames;
    QSpinBox* width;
    QSpinBox* height;
    QLineEdit* pattern;
    QCheckBox* someFrames;
    QSpinBox* first;
    QSpinBox* last;
};
