#include "map/SvgWriter.h"

#include "map/GraphExport.h"

#include <QBuffer>
#include <QIODevice>
#include <QImage>
#include <QPaintEngine>
#include <QPainterPath>
#include <QPixmap>
#include <QTextItem>

#include <charconv>
#include <cmath>

namespace {

// Output is handed to the file in pieces of about this size.
constexpr qsizetype kFlushSize = 1 << 16;

// Whole numbers as integers, others to eight significant digits: no allocation per number.
void AppendNumber(QByteArray &out, qreal value)
{
    if (!std::isfinite(value))
        value = 0;
    char text[32];
    const qreal whole = std::round(value);
    const std::to_chars_result end =
        std::abs(value - whole) < 1e-6 && std::abs(whole) < 1e15
            ? std::to_chars(text, text + sizeof text, qint64(whole))
            : std::to_chars(text, text + sizeof text, value, std::chars_format::general, 8);
    out.append(text, end.ptr - text);
}

QByteArray ColorText(const QColor &color)
{
    return color.name(QColor::HexRgb).toLatin1();
}

} // namespace

QByteArray SvgEscaped(const QString &text)
{
    QString kept;
    kept.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const char16_t u = c.unicode();
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            kept.append(c);
            kept.append(text.at(++i));
            continue;
        }
        if (c.isSurrogate() || u == 0xFFFE || u == 0xFFFF ||
            (u < 0x20 && u != '\t' && u != '\n' && u != '\r'))
            continue;
        switch (u) {
        case '&':
            kept.append(QLatin1String("&amp;"));
            break;
        case '<':
            kept.append(QLatin1String("&lt;"));
            break;
        case '>':
            kept.append(QLatin1String("&gt;"));
            break;
        case '"':
            kept.append(QLatin1String("&quot;"));
            break;
        default:
            kept.append(c);
        }
    }
    return kept.toUtf8();
}

class TSvgEngine : public QPaintEngine
{
public:
    TSvgEngine(QIODevice &out, QSize size, const QString &title, const QString &description)
        : QPaintEngine(QPaintEngine::PaintEngineFeatures(
              QPaintEngine::AllFeatures & ~QPaintEngine::PatternBrush &
              ~QPaintEngine::PerspectiveTransform & ~QPaintEngine::ConicalGradientFill &
              ~QPaintEngine::PorterDuff)),
          m_out(out), m_size(size), m_title(title), m_description(description)
    {
    }

    bool begin(QPaintDevice *) override
    {
        m_buffer.reserve(kFlushSize + 4096);
        m_buffer.append(
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n<svg width=\"");
        if (m_millimetres.isEmpty()) {
            AppendNumber(m_buffer, m_size.width());
            m_buffer.append("\" height=\"");
            AppendNumber(m_buffer, m_size.height());
        } else {
            m_buffer.append(QByteArray::number(m_millimetres.width(), 'g', 8) + "mm\" height=\"" +
                            QByteArray::number(m_millimetres.height(), 'g', 8) + "mm");
        }
        m_buffer.append("\" viewBox=\"0 0 ");
        AppendNumber(m_buffer, m_size.width());
        m_buffer.append(" ");
        AppendNumber(m_buffer, m_size.height());
        m_buffer.append("\" xmlns=\"http://www.w3.org/2000/svg\" "
                        "xmlns:xlink=\"http://www.w3.org/1999/xlink\" version=\"1.2\" "
                        "baseProfile=\"tiny\">\n<title>" +
                        SvgEscaped(m_title) + "</title>\n<desc>" + SvgEscaped(m_description) +
                        "</desc>\n");
        return true;
    }

    bool end() override
    {
        CloseStyle();
        for (; m_groups > 0; --m_groups)
            m_buffer.append("</g>\n");
        m_buffer.append("</svg>\n");
        Flush();
        return !m_failed;
    }

    void updateState(const QPaintEngineState &state) override
    {
        const QPaintEngine::DirtyFlags flags = state.state();
        if (flags & DirtyPen)
            m_pen = state.pen();
        if (flags & DirtyBrush)
            m_brush = state.brush();
        if (flags & DirtyTransform)
            m_transform = state.transform();
        if (flags & DirtyFont)
            m_font = state.font();
    }

    void drawRects(const QRectF *rects, int count) override
    {
        Style(true, true);
        for (int i = 0; i < count; ++i) {
            m_buffer.append("<rect x=\"");
            AppendNumber(m_buffer, rects[i].x());
            m_buffer.append("\" y=\"");
            AppendNumber(m_buffer, rects[i].y());
            m_buffer.append("\" width=\"");
            AppendNumber(m_buffer, rects[i].width());
            m_buffer.append("\" height=\"");
            AppendNumber(m_buffer, rects[i].height());
            m_buffer.append("\"/>\n");
        }
        Written();
    }

    void drawLines(const QLineF *lines, int count) override
    {
        Style(true, false);
        for (int i = 0; i < count; ++i) {
            m_buffer.append("<polyline fill=\"none\" points=\"");
            AppendPoint(lines[i].p1());
            m_buffer.append(' ');
            AppendPoint(lines[i].p2());
            m_buffer.append("\"/>\n");
        }
        Written();
    }

    void drawPolygon(const QPointF *points, int count, PolygonDrawMode mode) override
    {
        const bool open = mode == PolylineMode;
        Style(true, !open);
        m_buffer.append(open ? "<polyline fill=\"none\" points=\"" : "<polygon points=\"");
        for (int i = 0; i < count; ++i) {
            if (i > 0)
                m_buffer.append(' ');
            AppendPoint(points[i]);
        }
        m_buffer.append(open ? "\"/>\n"
                             : (mode == WindingMode ? "\" fill-rule=\"nonzero\"/>\n"
                                                    : "\" fill-rule=\"evenodd\"/>\n"));
        Written();
    }

    void drawPath(const QPainterPath &path) override
    {
        Style(true, true);
        m_buffer.append("<path d=\"");
        for (int i = 0; i < path.elementCount(); ++i) {
            const QPainterPath::Element e = path.elementAt(i);
            switch (e.type) {
            case QPainterPath::MoveToElement:
                m_buffer.append('M');
                break;
            case QPainterPath::LineToElement:
                m_buffer.append('L');
                break;
            case QPainterPath::CurveToElement:
                m_buffer.append('C');
                break;
            case QPainterPath::CurveToDataElement:
                m_buffer.append(' ');
                break;
            }
            AppendPoint(e);
        }
        m_buffer.append(path.fillRule() == Qt::WindingFill ? "\" fill-rule=\"nonzero\"/>\n"
                                                           : "\" fill-rule=\"evenodd\"/>\n");
        Written();
    }

    void drawTextItem(const QPointF &p, const QTextItem &item) override
    {
        // A text carries its own colour and font: only the transform comes from the group.
        Style(false, false);
        const QFont font = item.font();
        m_buffer.append("<text fill=\"" + ColorText(m_pen.color()) + '"');
        if (m_pen.color().alpha() < 255) {
            m_buffer.append(" fill-opacity=\"");
            AppendNumber(m_buffer, m_pen.color().alphaF());
            m_buffer.append('"');
        }
        m_buffer.append(" stroke=\"none\" xml:space=\"preserve\" x=\"");
        AppendNumber(m_buffer, p.x());
        m_buffer.append("\" y=\"");
        AppendNumber(m_buffer, p.y());
        m_buffer.append("\" font-family=\"" + SvgEscaped(font.family()) + "\" font-size=\"");
        // Point sizes are of the device's resolution, which the painter already gave the font.
        AppendNumber(m_buffer,
                     font.pixelSize() > 0 ? font.pixelSize() : font.pointSizeF() * m_dpi / 72.0);
        m_buffer.append("\" font-weight=\"" + QByteArray::number(font.weight()) +
                        "\" font-style=\"" + (font.italic() ? "italic" : "normal") + "\">" +
                        SvgEscaped(item.text()) + "</text>\n");
        Written();
    }

    void drawPixmap(const QRectF &r, const QPixmap &pixmap, const QRectF &source) override
    {
        drawImage(r, pixmap.toImage(), source, Qt::AutoColor);
    }

    void drawImage(const QRectF &r, const QImage &image, const QRectF &source,
                   Qt::ImageConversionFlags) override
    {
        Style(false, false);
        QBuffer png;
        png.open(QIODevice::WriteOnly);
        image.copy(source.toAlignedRect()).save(&png, "PNG");
        m_buffer.append("<image x=\"");
        AppendNumber(m_buffer, r.x());
        m_buffer.append("\" y=\"");
        AppendNumber(m_buffer, r.y());
        m_buffer.append("\" width=\"");
        AppendNumber(m_buffer, r.width());
        m_buffer.append("\" height=\"");
        AppendNumber(m_buffer, r.height());
        m_buffer.append("\" preserveAspectRatio=\"none\" xlink:href=\"data:image/png;base64," +
                        png.data().toBase64() + "\"/>\n");
        Written();
    }

    Type type() const override { return QPaintEngine::SVG; }

    void BeginGroup(const QString &id, const QString &title)
    {
        CloseStyle();
        m_buffer.append("<g id=\"" + SvgEscaped(id) + "\"><title>" + SvgEscaped(title) +
                        "</title>\n");
        ++m_groups;
        Written();
    }

    void EndGroup()
    {
        CloseStyle();
        if (m_groups > 0) {
            m_buffer.append("</g>\n");
            --m_groups;
        }
        Written();
    }

    int m_dpi = 96;
    QSizeF m_millimetres; // empty: the size in user units

private:
    void AppendPoint(const QPointF &p)
    {
        AppendNumber(m_buffer, p.x());
        m_buffer.append(',');
        AppendNumber(m_buffer, p.y());
    }

    void CloseStyle()
    {
        if (m_styleOpen)
            m_buffer.append("</g>\n");
        m_styleOpen = false;
    }

    // Opens the group that carries the pen, brush and transform the next element uses, unless
    // the open one already has what that element reads of them: labels switch between box,
    // text and leader, and a group each time would double the file.
    void Style(bool pen, bool brush)
    {
        if (m_styleOpen && m_groupTransform == m_transform && (!pen || m_groupPen == m_pen) &&
            (!brush || m_groupBrush == m_brush))
            return;
        CloseStyle();
        m_styleOpen = true;
        m_groupPen = m_pen;
        m_groupBrush = m_brush;
        m_groupTransform = m_transform;
        m_buffer.append("<g fill=\"");
        const Qt::BrushStyle fill = m_brush.style();
        if (fill == Qt::NoBrush) {
            m_buffer.append("none\"");
        } else {
            m_buffer.append(ColorText(m_brush.color()) + '"');
            if (m_brush.color().alpha() < 255) {
                m_buffer.append(" fill-opacity=\"");
                AppendNumber(m_buffer, m_brush.color().alphaF());
                m_buffer.append('"');
            }
        }
        if (m_pen.style() == Qt::NoPen) {
            m_buffer.append(" stroke=\"none\"");
        } else {
            const qreal width = m_pen.widthF() > 0 ? m_pen.widthF() : 1.0;
            m_buffer.append(" stroke=\"" + ColorText(m_pen.color()) + '"');
            if (m_pen.color().alpha() < 255) {
                m_buffer.append(" stroke-opacity=\"");
                AppendNumber(m_buffer, m_pen.color().alphaF());
                m_buffer.append('"');
            }
            m_buffer.append(" stroke-width=\"");
            AppendNumber(m_buffer, width);
            m_buffer.append('"');
            switch (m_pen.capStyle()) {
            case Qt::FlatCap:
                m_buffer.append(" stroke-linecap=\"butt\"");
                break;
            case Qt::RoundCap:
                m_buffer.append(" stroke-linecap=\"round\"");
                break;
            default:
                m_buffer.append(" stroke-linecap=\"square\"");
            }
            switch (m_pen.joinStyle()) {
            case Qt::RoundJoin:
                m_buffer.append(" stroke-linejoin=\"round\"");
                break;
            case Qt::BevelJoin:
                m_buffer.append(" stroke-linejoin=\"bevel\"");
                break;
            default:
                m_buffer.append(" stroke-linejoin=\"miter\"");
            }
            if (m_pen.style() != Qt::SolidLine) {
                m_buffer.append(" stroke-dasharray=\"");
                const QList<qreal> dashes = m_pen.dashPattern();
                for (qsizetype i = 0; i < dashes.size(); ++i) {
                    if (i > 0)
                        m_buffer.append(',');
                    AppendNumber(m_buffer, dashes[i] * width);
                }
                m_buffer.append('"');
            }
        }
        if (!m_transform.isIdentity()) {
            m_buffer.append(" transform=\"matrix(");
            const qreal m[6] = {m_transform.m11(), m_transform.m12(), m_transform.m21(),
                                m_transform.m22(), m_transform.dx(),  m_transform.dy()};
            for (int i = 0; i < 6; ++i) {
                if (i > 0)
                    m_buffer.append(' ');
                AppendNumber(m_buffer, m[i]);
            }
            m_buffer.append(")\"");
        }
        m_buffer.append(">\n");
    }

    void Written()
    {
        if (m_buffer.size() >= kFlushSize)
            Flush();
    }

    // A failed write is remembered and told by end(); nothing more is written after it.
    void Flush()
    {
        if (!m_failed && !WriteWhole(m_out, m_buffer))
            m_failed = true;
        m_buffer.clear();
    }

    QIODevice &m_out;
    QSize m_size;
    QString m_title;
    QString m_description;
    QByteArray m_buffer;
    QPen m_pen;
    QBrush m_brush;
    QFont m_font;
    QTransform m_transform;
    // What the open group carries.
    QPen m_groupPen;
    QBrush m_groupBrush;
    QTransform m_groupTransform;
    bool m_styleOpen = false;
    bool m_failed = false;
    int m_groups = 0;
};

TSvgWriter::TSvgWriter(QIODevice &out, QSize size, int dpi, const QString &title,
                       const QString &description)
    : m_engine(std::make_unique<TSvgEngine>(out, size, title, description)), m_size(size),
      m_dpi(dpi)
{
    m_engine->m_dpi = dpi;
}

TSvgWriter::~TSvgWriter() = default;

void TSvgWriter::SetMillimetres(const QSizeF &millimetres)
{
    m_engine->m_millimetres = millimetres;
}

QPaintEngine *TSvgWriter::paintEngine() const
{
    return m_engine.get();
}

void TSvgWriter::BeginGroup(const QString &id, const QString &title)
{
    m_engine->BeginGroup(id, title);
}

void TSvgWriter::EndGroup()
{
    m_engine->EndGroup();
}

int TSvgWriter::metric(PaintDeviceMetric metric) const
{
    switch (metric) {
    case PdmWidth:
        return m_size.width();
    case PdmHeight:
        return m_size.height();
    case PdmWidthMM:
        return int(std::lround(m_size.width() * 25.4 / m_dpi));
    case PdmHeightMM:
        return int(std::lround(m_size.height() * 25.4 / m_dpi));
    case PdmNumColors:
        return 0xffffffff;
    case PdmDepth:
        return 32;
    case PdmDpiX:
    case PdmDpiY:
    case PdmPhysicalDpiX:
    case PdmPhysicalDpiY:
        return m_dpi;
    case PdmDevicePixelRatio:
        return 1;
    case PdmDevicePixelRatioScaled:
        return int(devicePixelRatioFScale());
    }
    return 0;
}
