#include "app/TdlgExportFigure.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPointer>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

namespace {
struct TFormatItem
{
    const char *Caption;
    const char *Extension;
    TGraphFormat Format;
};

const TFormatItem kFormats[] = {
    {"PNG", "png", TGraphFormat::Png}, {"SVG", "svg", TGraphFormat::Svg},
    {"PDF", "pdf", TGraphFormat::Pdf}, {"BMP", "bmp", TGraphFormat::Bmp},
    {"EMF", "emf", TGraphFormat::Emf}, {"WMF", "wmf", TGraphFormat::Wmf},
};

// Sides in mm a figure can have: a pixel of 1/96 inch at least, 20000 of them at most.
constexpr double kMinSideMm = 1;
constexpr double kMaxSideMm = 5000;
// A type size field at its lowest shows "Map's": the map's own size.
constexpr double kMapFontSize = kMinFigureFontPoints - 0.5;

QDoubleSpinBox *TypeSizeField(QWidget *parent)
{
    auto *field = new QDoubleSpinBox(parent);
    field->setRange(kMapFontSize, kMaxFigureFontPoints);
    field->setSingleStep(0.5);
    field->setDecimals(1);
    field->setSuffix(QStringLiteral(" pt"));
    field->setSpecialValueText(QStringLiteral("Map's"));
    return field;
}

double TypeSize(const QDoubleSpinBox *field)
{
    return field->value() > kMapFontSize ? field->value() : 0;
}
} // namespace

TdlgExportFigure::TdlgExportFigure(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Export figure"));
    cbFormat = new QComboBox(this);
    for (const TFormatItem &item : kFormats)
        cbFormat->addItem(QString::fromLatin1(item.Caption));
    const auto sideField = [this](double value) {
        auto *field = new QDoubleSpinBox(this);
        field->setRange(kMinSideMm, kMaxSideMm);
        field->setDecimals(1);
        field->setSuffix(QStringLiteral(" mm"));
        field->setValue(value);
        return field;
    };
    edWidth = sideField(180);
    edHeight = sideField(100);
    edDpi = new QSpinBox(this);
    edDpi->setRange(kMinFigureDpi, kMaxFigureDpi);
    edDpi->setValue(kDefaultFigureDpi);
    cbFont = new QComboBox(this);
    cbFont->setEditable(true);
    cbFont->addItem(QString());
    cbFont->addItems(QFontDatabase::families());
    cbFont->lineEdit()->setPlaceholderText(QStringLiteral("Map's"));
    edFontSize = TypeSizeField(this);
    edNameFontSize = TypeSizeField(this);
    chItalic = new QCheckBox(QStringLiteral("Gene names in italics"), this);
    chScaleBar = new QCheckBox(QStringLiteral("Scale bar"), this);
    edScaleBar = new QLineEdit(QStringLiteral("auto"), this);
    chLegend = new QCheckBox(QStringLiteral("Legend"), this);
    chLabelsFit = new QCheckBox(QStringLiteral("Only the gene names that fit"), this);
    chRowScales = new QCheckBox(QStringLiteral("Row scales"), this);
    chBlocks = new QCheckBox(QStringLiteral("Synteny blocks"), this);
    edTitle = new QLineEdit(this);
    lbPreview = new QLabel(this);
    lbPreview->setMinimumSize(360, 200);
    lbPreview->setAlignment(Qt::AlignCenter);
    lbPreview->setWordWrap(true);

    auto *scaleBar = new QHBoxLayout;
    scaleBar->addWidget(chScaleBar);
    scaleBar->addWidget(edScaleBar);
    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Type:"), cbFormat);
    form->addRow(QStringLiteral("Width:"), edWidth);
    form->addRow(QStringLiteral("Height:"), edHeight);
    form->addRow(QStringLiteral("Resolution (dpi):"), edDpi);
    form->addRow(QStringLiteral("Font:"), cbFont);
    form->addRow(QStringLiteral("Label size:"), edFontSize);
    form->addRow(QStringLiteral("Name size:"), edNameFontSize);
    form->addRow(QString(), chItalic);
    form->addRow(QString(), scaleBar);
    form->addRow(QString(), chLegend);
    form->addRow(QString(), chLabelsFit);
    form->addRow(QString(), chRowScales);
    form->addRow(QString(), chBlocks);
    form->addRow(QStringLiteral("Title:"), edTitle);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *columns = new QHBoxLayout;
    columns->addLayout(form);
    columns->addWidget(lbPreview, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(columns);
    layout->addWidget(buttons);

    // Every change draws the preview again once the user pauses.
    m_previewTimer = new QTimer(this);
    m_previewTimer->setSingleShot(true);
    m_previewTimer->setInterval(200);
    connect(m_previewTimer, &QTimer::timeout, this, &TdlgExportFigure::UpdatePreview);
    const auto changed = [this] {
        edDpi->setEnabled(IsRasterFormat(Format()));
        edScaleBar->setEnabled(chScaleBar->isChecked());
        m_previewTimer->start();
    };
    connect(cbFormat, &QComboBox::currentIndexChanged, this, changed);
    for (QDoubleSpinBox *field : {edWidth, edHeight, edFontSize, edNameFontSize})
        connect(field, &QDoubleSpinBox::valueChanged, this, changed);
    connect(edDpi, &QSpinBox::valueChanged, this, changed);
    connect(cbFont, &QComboBox::currentTextChanged, this, changed);
    for (QCheckBox *box : {chItalic, chScaleBar, chLegend, chLabelsFit, chRowScales, chBlocks})
        connect(box, &QCheckBox::toggled, this, changed);
    for (QLineEdit *edit : {edScaleBar, edTitle})
        connect(edit, &QLineEdit::textChanged, this, changed);
    changed();
}

void TdlgExportFigure::SetPreviewer(TPreviewer previewer)
{
    m_previewer = std::move(previewer);
    m_previewTimer->start();
}

void TdlgExportFigure::SetOptions(const TFigureOptions &options, TGraphFormat format)
{
    for (int i = 0; i < int(std::size(kFormats)); ++i)
        if (kFormats[i].Format == format)
            cbFormat->setCurrentIndex(i);
    if (options.Millimetres) {
        edWidth->setValue(options.Millimetres->width());
        edHeight->setValue(options.Millimetres->height());
    }
    if (options.Dpi > 0)
        edDpi->setValue(int(options.Dpi));
    cbFont->setCurrentText(options.FontFamily);
    edFontSize->setValue(options.FontSize > 0 ? options.FontSize : kMapFontSize);
    edNameFontSize->setValue(options.NameFontSize > 0 ? options.NameFontSize : kMapFontSize);
    chItalic->setChecked(options.Italic);
    chScaleBar->setChecked(options.Decor.ScaleBar);
    edScaleBar->setText(options.Decor.ScaleBarLength > 0
                            ? BaseLengthText(options.Decor.ScaleBarLength).remove(QLatin1Char(' '))
                            : QStringLiteral("auto"));
    chLegend->setChecked(options.Decor.Legend);
    chLabelsFit->setChecked(options.LabelsFit);
    chRowScales->setChecked(options.RowScales);
    chBlocks->setChecked(options.SyntenyBlocks);
    edTitle->setText(options.Decor.Title);
}

TFigureOptions TdlgExportFigure::Options() const
{
    TFigureOptions o;
    const TFigureSize size{edWidth->value(), edHeight->value(), TLengthUnit::Mm};
    o.Size = size.Pixels();
    o.Millimetres = size.Millimetres();
    o.Dpi = IsRasterFormat(Format()) ? edDpi->value() : 0;
    o.FontFamily = cbFont->currentText().trimmed();
    o.FontSize = TypeSize(edFontSize);
    o.NameFontSize = TypeSize(edNameFontSize);
    o.Italic = chItalic->isChecked();
    o.Decor.ScaleBar = chScaleBar->isChecked();
    if (o.Decor.ScaleBar)
        o.Decor.ScaleBarLength = ScaleBarLengthOf(edScaleBar->text().trimmed());
    o.Decor.Legend = chLegend->isChecked();
    // Unchecked, the figure decides: only a crowd of names is thinned out.
    o.LabelsFit = o.LabelsChosen = chLabelsFit->isChecked();
    o.RowScales = chRowScales->isChecked();
    o.SyntenyBlocks = chBlocks->isChecked();
    // A title of spaces alone would take a band and show nothing.
    if (!edTitle->text().trimmed().isEmpty())
        o.Decor.Title = edTitle->text();
    return o;
}

TGraphFormat TdlgExportFigure::Format() const
{
    return kFormats[std::max(0, cbFormat->currentIndex())].Format;
}

QString TdlgExportFigure::Extension() const
{
    return QString::fromLatin1(kFormats[std::max(0, cbFormat->currentIndex())].Extension);
}

QString TdlgExportFigure::SizeText() const
{
    return QStringLiteral("%1x%2mm").arg(edWidth->value()).arg(edHeight->value());
}

void TdlgExportFigure::UpdatePreview()
{
    m_previewTimer->stop();
    if (!m_previewer)
        return;
    const QPointer<TdlgExportFigure> alive(this);
    const auto shown = [alive](const QImage &image, const QString &error) {
        if (!alive)
            return;
        --alive->m_previewsPending;
        alive->m_preview = image;
        if (error.isEmpty())
            alive->lbPreview->setPixmap(QPixmap::fromImage(image));
        else
            alive->lbPreview->setText(error);
    };
    ++m_previewsPending;
    try {
        m_previewer(Options(), lbPreview->contentsRect().size(), shown);
    } catch (const std::exception &error) {
        // Called from the timer too, where nothing above would catch it.
        shown(QImage(), QString::fromUtf8(error.what()));
    }
}
