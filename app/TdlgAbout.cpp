// The about window's layout comes from its form; only the fonts in pixels, the place and size
// of the whole window, the pictures and the version line are set here, once, when it is made.
#include "app/TdlgAbout.h"

#include "app/WindowFrame.h"
#include "platform/EmfPicture.h"
#include "platform/PictureLoader.h"
#include "platform/Systeme.h"

#include <QFile>
#include <QPixmap>

void RegisterProgramResources()
{
    Q_INIT_RESOURCE(ostrinel);
}

TdlgAbout::TdlgAbout(QWidget *parent) : QDialog(parent)
{
    RegisterProgramResources();
    ui.setupUi(this);
    FormCreate();
}

TdlgAbout::~TdlgAbout() = default;

void TdlgAbout::FormCreate()
{
    // Character heights are given in pixels, which the form cannot hold.
    QFont windowFont(QStringLiteral("MS Sans Serif"));
    windowFont.setPixelSize(11);
    setFont(windowFont);
    QFont nameFont = ui.lblName->font();
    nameFont.setPixelSize(48);
    ui.lblName->setFont(nameFont);

    // Placed and sized where it was designed, frame included: on a screen 1280 wide it ends
    // exactly at the right edge.
    move(659, 272);
    SetOuterSize(this, QSize(621, 251));

    ui.Image1->setPixmap(QPixmap::fromImage(LoadPicture(QStringLiteral(":/pictures/about.jpg"))));
    QFile emf(QStringLiteral(":/pictures/about.emf"));
    if (!emf.open(QIODevice::ReadOnly))
        throw EInOutError(
            QStringLiteral("Cannot open the picture file \"%1\"").arg(emf.fileName()));
    ui.Image2->SetPicture(TEmfPicture(emf.readAll()));

    ui.lblVersion->setText(QStringLiteral("Version ") + VersionText(4));
}
