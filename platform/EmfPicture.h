// Enhanced metafile pictures shown on screen: the EMF is read by the emf2svg reader and the
// resulting drawing rendered, stretched, into any painter rectangle.
#pragma once

#include <QByteArray>
#include <QRectF>
#include <QSize>
#include <QWidget>

class QPainter;

class TEmfPicture
{
public:
    TEmfPicture() = default;
    // Reads the EMF bytes; raises EInvalidGraphic when they are no readable enhanced metafile.
    explicit TEmfPicture(const QByteArray &emf);

    bool IsEmpty() const { return m_svg.isEmpty(); }
    // The picture's own size in pixels, from the bounds of its header.
    QSize Size() const { return m_size; }
    // Draws the picture stretched to the target rectangle; an empty picture draws nothing.
    void Draw(QPainter &painter, const QRectF &target) const;

private:
    QByteArray m_svg;
    QSize m_size;
};

// A control showing an EMF picture stretched to its whole area, like a stretched image control.
class TEmfPictureView : public QWidget
{
    Q_OBJECT
public:
    explicit TEmfPictureView(QWidget *parent = nullptr);

    void SetPicture(const TEmfPicture &picture);
    const TEmfPicture &Picture() const { return m_picture; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    TEmfPicture m_picture;
};
