// "File > Export figure...": the dialog where the user chooses a figure's type, size in mm,
// resolution, type faces, scale bar, key and title, with a preview of the figure. It only
// collects the options; the window hands them to the map's figure routine.
#pragma once

#include "map/FigureExport.h"
#include "map/GraphExport.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class QTimer;

class TdlgExportFigure : public QDialog
{
    Q_OBJECT
public:
    // Called with what a preview drawing gave: the image, or the error's text.
    using TPreviewShown = std::function<void(const QImage &image, const QString &error)>;
    // Starts drawing the figure of the options into an image that fits box, on a thread of its
    // own; shown is then called on the GUI thread.
    using TPreviewer =
        std::function<void(const TFigureOptions &options, const QSize &box, TPreviewShown shown)>;

    explicit TdlgExportFigure(QWidget *parent = nullptr);

    void SetPreviewer(TPreviewer previewer);
    // The fields set from options (sized in mm) and the picture type.
    void SetOptions(const TFigureOptions &options, TGraphFormat format);
    // What the fields say. Raises EFigureError for a scale bar length that is none.
    TFigureOptions Options() const;
    TGraphFormat Format() const;
    // The picture type's extension, as "png".
    QString Extension() const;
    // The size as a command line gives it, as "180x100mm".
    QString SizeText() const;
    // Starts the preview of what the fields say now (the fields' changes start it shortly after);
    // the last one shows while it is drawn.
    void UpdatePreview();
    const QImage &PreviewImage() const { return m_preview; }
    // True from UpdatePreview until its image (or error) is shown.
    bool PreviewPending() const { return m_previewsPending > 0; }

private:
    QComboBox *cbFormat = nullptr;
    QDoubleSpinBox *edWidth = nullptr;
    QDoubleSpinBox *edHeight = nullptr;
    QSpinBox *edDpi = nullptr;
    QComboBox *cbFont = nullptr;
    QDoubleSpinBox *edFontSize = nullptr;
    QDoubleSpinBox *edNameFontSize = nullptr;
    QCheckBox *chItalic = nullptr;
    QCheckBox *chScaleBar = nullptr;
    QLineEdit *edScaleBar = nullptr;
    QCheckBox *chLegend = nullptr;
    QCheckBox *chLabelsFit = nullptr;
    QCheckBox *chRowScales = nullptr;
    QCheckBox *chBlocks = nullptr;
    QLineEdit *edTitle = nullptr;
    QLabel *lbPreview = nullptr;
    QTimer *m_previewTimer = nullptr;
    TPreviewer m_previewer;
    QImage m_preview;
    int m_previewsPending = 0;
};
