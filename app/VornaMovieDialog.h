// The window's movie dialog: which object's time port to step, which viewer to
// render, the format, frames per second and duration (the frames follow), the
// size (with presets), antialiasing, and where to write the movie; it shows
// the movie's length. It composes the "movie" command; the window runs it.
// The settings of the last accepted dialog are remembered (QSettings).
#pragma once
#include <QDialog>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
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
    // Keeps the current settings for the next dialog.
    void remember() const;

private:
    void chooseFile();
    void setFormat(const QString& extension);
    void framesFromDuration();
    void durationFromFrames();
    void showLength();

    QComboBox* object;
    QSpinBox* viewer;
    QComboBox* format;
    QSpinBox* fps;
    QDoubleSpinBox* duration;
    QSpinBox* frames;
    QComboBox* sizePreset;
    QComboBox* samples;
    QLabel* length;
    QSpinBox* width;
    QSpinBox* height;
    QLineEdit* pattern;
    QCheckBox* someFrames;
    QSpinBox* first;
    QSpinBox* last;
};
