// A paint device that writes an SVG picture to a file as it is drawn: every element goes out
// through a small buffer, so memory stays flat however many rows and labels the map has. Each
// change of pen, brush or transform opens a group of its own; texts carry their font, and what
// XML cannot hold (control characters, lone surrogates, U+FFFE and U+FFFF) is left out of them.
// Clipping is not written.
#pragma once

#include <QPaintDevice>
#include <QSize>
#include <QSizeF>
#include <QString>

#include <memory>

class QIODevice;
class TSvgEngine;

class TSvgWriter : public QPaintDevice
{
public:
    // A picture of size user units (pixels at dpi) written to out.
    TSvgWriter(QIODevice &out, QSize size, int dpi, const QString &title,
               const QString &description);
    ~TSvgWriter() override;
    TSvgWriter(const TSvgWriter &) = delete;
    TSvgWriter &operator=(const TSvgWriter &) = delete;

    QPaintEngine *paintEngine() const override;
    // Before the drawing: the picture's width and height given in millimetres instead of user
    // units, for a figure of a physical size.
    void SetMillimetres(const QSizeF &millimetres);

    // What is drawn from here to EndGroup goes in a group with this id and title; groups nest.
    void BeginGroup(const QString &id, const QString &title);
    void EndGroup();

protected:
    int metric(PaintDeviceMetric metric) const override;

private:
    std::unique_ptr<TSvgEngine> m_engine;
    QSize m_size;
    int m_dpi;
};

// The text as XML character data or attribute value: escaped, and without what XML cannot hold.
QByteArray SvgEscaped(const QString &text);
