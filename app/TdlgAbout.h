// The about window: the program's name and version beside its two pictures. Created once at
// start-up and shown modally by "&Credits...".
#pragma once

#include "ui_TdlgAbout.h"

#include <QDialog>

// Registers the program's embedded resources (the help file and the about window's pictures);
// safe to call more than once.
void RegisterProgramResources();

class TdlgAbout : public QDialog
{
    Q_OBJECT
public:
    // Runs FormCreate. The JPEG loader must be registered (RegisterPictureLoaders); a picture
    // that cannot be read raises EInOutError or EInvalidGraphic.
    explicit TdlgAbout(QWidget *parent = nullptr);
    ~TdlgAbout() override;

private:
    void FormCreate();

    Ui::TdlgAbout ui;
};
