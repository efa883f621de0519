#include "chart/SeriesPainter.h"

#include "util/CommonDecl.h"

#include <QPaintDevice>
#include <QPaintEngine>
#include <QPen>
#include <QPointF>

#include <algorithm>
#include <cmath>

namespace {
// Parts of one label to draw.
constexpr quint8 kDrawLeader = 1;
constexpr quint8 kDrawBox = 2; // fill and frame
constexpr quint8 kDrawText = 4;

QFont MarksFont(const TChartFont &f)
{
    QFont font(f.Name);
    // Like a window-system font height: negative is the character height in pixels; the chart
    // treats a positive height the same way.
    font.setPixelSize(std::max(1, std::abs(f.Height)));
    font.setBold(f.Bold);
    return font;
}

QPen PenOf(const TChartPen &p)
{
    QPen pen(ToQColor(p.Color));
    pen.setWidth(std::max(0, p.Width));
    pen.setStyle(p.Style);
    return pen;
}

// The part of the drawing surface a stroke can reach, in the painter's logical coordinates.
QRect VisibleArea(const QPainter &painter, const QRect &rect)
{
    QRect area = rect;
    const QPaintDevice *device = painter.device();
    bool invertible = false;
    const QTransform inverse = painter.combinedTransform().inverted(&invertible);
    if (device && invertible)
        area &= inverse.mapRect(QRectF(0, 0, device->width(), device->height())).toAlignedRect();
    if (painter.hasClipping())
        area &= painter.clipBoundingRect().toAlignedRect();
    return area.adjusted(-1, -1, 1, 1);
}

// Pixels are known exactly only on a raster surface reached by a whole-pixel shift.
bool ExactPixels(const QPainter &painter)
{
    const QPaintEngine *engine = painter.paintEngine();
    if (!engine || engine->type() != QPaintEngine::Raster)
        return false;
    // A high-density surface scales everything on the way: no longer whole pixels.
    if (!painter.device() || painter.device()->devicePixelRatioF() != 1)
        return false;
    const QTransform t = painter.combinedTransform();
    return t.type() <= QTransform::TxTranslate && t.dx() == std::floor(t.dx()) &&
           t.dy() == std::floor(t.dy());
}

quint64 Mix(quint64 h)
{
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ULL;
    h ^= h >> 33;
    return h;
}

qint32 PenKey(const TChartPen &p)
{
    return qint32(p.Style) | (std::clamp(p.Width, 0, 0xFFFF) << 8);
}

quint64 NextCacheGeneration()
{
    static quint64 counter = 0;
    return ++counter;
}

// Hands a vector's memory back when it holds far more room than the drawings now need.
template <typename T> void ShrinkOversized(std::vector<T> &v, std::size_t need)
{
    if (v.capacity() > 4 * std::max<std::size_t>(need, 256))
        std::vector<T>().swap(v);
}
} // namespace

TFontCache::TFontCache(const QFont &font)
    : Font(font), Metrics(font), Height(Metrics.height()), Ascent(Metrics.ascent()),
      Generation(NextCacheGeneration())
{
}

int TFontCache::Id(const QByteArray &label)
{
    const auto it = Index.constFind(label);
    if (it != Index.constEnd())
        return it.value();
    TTextInfo info;
    info.Text = DisplayText(label);
    info.Width = Metrics.horizontalAdvance(info.Text);
    info.Height = Height;
    info.Ascent = Ascent;
    const int id = int(Infos.size());
    Infos.push_back(std::move(info));
    Index.insert(label, id);
    return id;
}

const QRect &TFontCache::InkOf(int id)
{
    TTextInfo &info = Infos[std::size_t(id)];
    if (!info.InkKnown) {
        // boundingRect covers every pixel the text touches drawn at the origin's baseline; one
        // more pixel round it absorbs antialiasing at fractional glyph edges.
        info.Ink =
            Metrics.boundingRect(info.Text).translated(0, info.Ascent).adjusted(-1, -1, 1, 1);
        info.InkKnown = true;
    }
    return info.Ink;
}

std::vector<int> TFontCache::Keep(const std::vector<char> &used)
{
    std::vector<int> renumbered(Infos.size(), -1);
    std::vector<TTextInfo> kept;
    kept.reserve(std::size_t(std::count(used.begin(), used.end(), char(1))));
    for (std::size_t id = 0; id < Infos.size(); ++id) {
        if (!used[id])
            continue;
        renumbered[id] = int(kept.size());
        kept.push_back(std::move(Infos[id]));
    }
    // Built anew rather than erased from: a hash never gives back the room of erased entries.
    QHash<QByteArray, int> index;
    index.reserve(qsizetype(kept.size()));
    for (auto it = Index.cbegin(); it != Index.cend(); ++it)
        if (const int id = renumbered[std::size_t(it.value())]; id >= 0)
            index.insert(it.key(), id);
    Infos = std::move(kept);
    Index = std::move(index);
    Generation = NextCacheGeneration();
    return renumbered;
}

void TShapeSet::Reset(std::size_t expected)
{
    std::size_t capacity = 16;
    while (capacity < expected * 2)
        capacity *= 2;
    if (m_keys.size() != capacity) {
        // A key is read only where its slot is marked used: no need to clear the keys.
        m_keys.resize(capacity);
        m_used.assign(capacity, false);
    } else {
        std::fill(m_used.begin(), m_used.end(), false);
    }
    m_mask = capacity - 1;
    m_peak = std::max(m_peak, capacity);
}

void TShapeSet::Trim()
{
    // A drawing that never asked (not on exact pixels) says nothing about the need.
    if (m_peak == 0)
        return;
    if (m_keys.capacity() > 4 * std::max<std::size_t>(m_peak, 16)) {
        std::vector<Key>().swap(m_keys);
        std::vector<bool>().swap(m_used);
        m_mask = 0;
    }
    m_peak = 0;
}

bool TShapeSet::Insert(const Key &key)
{
    quint64 h = 0;
    for (qint32 v : key)
        h = Mix(h ^ quint32(v));
    for (std::size_t i = h & m_mask;; i = (i + 1) & m_mask) {
        if (!m_used[i]) {
            m_used[i] = true;
            m_keys[i] = key;
            return true;
        }
        if (m_keys[i] == key)
            return false;
    }
}

TBandCoverage::TBandCoverage(int left, int right) : m_left(left)
{
    m_next.resize(std::size_t(std::max(0, right - left + 2)));
    for (std::size_t i = 0; i < m_next.size(); ++i)
        m_next[i] = int(i);
}

int TBandCoverage::Find(int column)
{
    int root = column;
    while (m_next[std::size_t(root)] != root)
        root = m_next[std::size_t(root)];
    while (m_next[std::size_t(column)] != root) {
        const int next = m_next[std::size_t(column)];
        m_next[std::size_t(column)] = root;
        column = next;
    }
    return root;
}

bool TBandCoverage::Covered(int from, int to)
{
    return Find(from - m_left) > to - m_left;
}

void TBandCoverage::Cover(int from, int to)
{
    for (int c = Find(from - m_left); c <= to - m_left; c = Find(c)) {
        m_next[std::size_t(c)] = c + 1;
    }
}

TFontCache &TSeriesPainter::FontCacheFor(const TChartFont &font)
{
    const QFont wanted = MarksFont(font);
    for (const auto &f : m_fonts)
        if (f->Font == wanted)
            return *f;
    m_fonts.push_back(std::make_unique<TFontCache>(wanted));
    return *m_fonts.back();
}

const std::vector<int> &TSeriesPainter::TextIds(const TArrowSeries &series, TFontCache &cache)
{
    // Each label is looked up once per change of the points, not once per drawing.
    if (series.m_textIdsRevision != series.Revision() ||
        series.m_textIdsCache != cache.Generation ||
        series.m_textIds.size() != std::size_t(series.Count())) {
        series.m_textIds.resize(std::size_t(series.Count()));
        for (int i = 0; i < series.Count(); ++i)
            series.m_textIds[std::size_t(i)] = cache.Id(series.Label(i));
        series.m_textIdsRevision = series.Revision();
        series.m_textIdsCache = cache.Generation;
        m_textsChanged = true;
    }
    return series.m_textIds;
}

// Every file loaded, every rebuild with other names brings texts the cache has not seen; those
// of rows gone would stay for good. A text counts as in use while a row of this drawing holds
// its id, shown or not (a row whose labels are hidden keeps its ids for when they come back).
// Checked only when the rows or their labels changed, and then one pass over the ids.
void TSeriesPainter::DropUnusedTexts(const std::vector<TArrowSeries *> &series)
{
    std::vector<quint64> revisions;
    revisions.reserve(series.size());
    for (const TArrowSeries *s : series)
        revisions.push_back(s->Revision());
    if (!m_textsChanged && revisions == m_lastRevisions)
        return;
    m_lastRevisions = std::move(revisions);
    m_textsChanged = false;

    const auto holds = [](const TArrowSeries &s, const TFontCache &cache) {
        return s.m_textIdsCache == cache.Generation && s.m_textIdsRevision == s.Revision() &&
               s.m_textIds.size() == std::size_t(s.Count());
    };
    for (auto f = m_fonts.begin(); f != m_fonts.end();) {
        TFontCache &cache = **f;
        std::vector<char> used(cache.Infos.size(), 0);
        std::size_t inUse = 0;
        for (const TArrowSeries *s : series) {
            if (!holds(*s, cache))
                continue;
            for (int id : s->m_textIds) {
                char &u = used[std::size_t(id)];
                inUse += !u;
                u = 1;
            }
        }
        const bool drawing =
            std::find(m_seriesFonts.begin(), m_seriesFonts.end(), &cache) != m_seriesFonts.end();
        // A font no row uses any more goes as a whole.
        if (inUse == 0 && !drawing) {
            f = m_fonts.erase(f);
            continue;
        }
        const std::size_t unused = cache.Infos.size() - inUse;
        if (unused >= std::max(kMinDroppedTexts, inUse / 2)) {
            std::vector<const TArrowSeries *> holders;
            for (const TArrowSeries *s : series)
                if (holds(*s, cache))
                    holders.push_back(s);
            const std::vector<int> renumbered = cache.Keep(used);
            for (const TArrowSeries *s : holders) {
                for (int &id : s->m_textIds)
                    id = renumbered[std::size_t(id)];
                s->m_textIdsCache = cache.Generation;
            }
        }
        ++f;
    }
}

// Every label gets its record and its measured size, seen or not: the label layout needs them.
void TSeriesPainter::PlaceLabels(const TChartGeometry &g, TArrowSeries &series, TFontCache &cache)
{
    const std::vector<int> &ids = TextIds(series, cache);
    auto &positions = series.Marks.Positions;
    if (positions.size() < std::size_t(series.Count()))
        positions.resize(std::size_t(series.Count()));
    const int lift = series.Marks.ArrowLength;
    for (int i = 0; i < series.Count(); ++i) {
        auto &slot = positions[std::size_t(i)];
        if (!slot)
            slot.emplace();
        TSeriesMarkPosition &pos = *slot;
        const TTextInfo &info = cache.Infos[std::size_t(ids[std::size_t(i)])];
        pos.LabelWidth = info.Width + 2 * kLabelPadX;
        pos.LabelHeight = info.Height + 2 * kLabelPadY;
        if (pos.Fixed)
            continue;
        // The chart's own placement: centred above the point's start, ArrowLength up.
        const int x = g.XPixel(series.StartX(i));
        const int y = g.YPixel(series.StartY(i));
        pos.LeaderEnd = QPoint(x, y);
        pos.LeaderStart = QPoint(x, y - lift);
        pos.LabelLeft = x - pos.LabelWidth / 2;
        pos.LabelTop = y - lift - pos.LabelHeight;
    }
}

// Decides, from the last label drawn backwards, which parts of which labels can still change a
// pixel. A label body whose every pixel lies under the opaque boxes of later labels of the same
// height and top is painted over whole; a leader that a later leader repeats exactly is
// repainted by it. Both hold only for exact pixels; anywhere, what lies outside the visible area
// is left out.
void TSeriesPainter::ChooseLabelWork(const std::vector<TArrowSeries *> &series, const QRect &area,
                                     const QRect &plot, bool exact)
{
    std::size_t total = 0;
    for (const TArrowSeries *s : series)
        total += std::size_t(s->Count());
    if (exact)
        m_labelShapes.Reset(total);
    QHash<qint64, int> bandIndex;
    std::vector<TBandCoverage> bands;

    for (std::size_t k = series.size(); k-- > 0;) {
        const TArrowSeries &s = *series[k];
        std::vector<quint8> &work = m_labelWork[k];
        work.assign(std::size_t(s.Count()), 0);
        TFontCache &cache = *m_seriesFonts[k];
        const std::vector<int> &ids = s.m_textIds;
        const TSeriesMarks &marks = s.Marks;
        const QRect labelArea = marks.Clip ? (area & plot) : area;
        if (labelArea.isEmpty())
            continue;
        const bool frameInside = marks.Frame.Visible && marks.Frame.Style == Qt::SolidLine;
        const int spill = marks.Frame.Visible && !frameInside ? std::max(1, marks.Frame.Width) : 0;
        const bool hasBox = !marks.Transparent || marks.Frame.Visible;
        const qint32 leaderPen = PenKey(marks.Arrow);
        const qint32 leaderColor = qint32(marks.Arrow.Color);
        int lastBandTop = 0, lastBandHeight = -1, lastBand = -1;

        for (int i = s.Count(); i-- > 0;) {
            const TSeriesMarkPosition &pos = *marks.Positions[std::size_t(i)];
            quint8 parts = 0;

            if (marks.Arrow.Visible) {
                const int reach = std::max(1, marks.Arrow.Width) + 1;
                const QRect seg = QRect(pos.LeaderStart, pos.LeaderEnd)
                                      .normalized()
                                      .adjusted(-reach, -reach, reach, reach);
                if (seg.intersects(labelArea) &&
                    (!exact ||
                     m_labelShapes.Insert({pos.LeaderStart.x(), pos.LeaderStart.y(),
                                           pos.LeaderEnd.x(), pos.LeaderEnd.y(), leaderColor,
                                           leaderPen, marks.Clip ? 1 : 0, 0})))
                    parts |= kDrawLeader;
            }

            const QRect box(pos.LabelLeft, pos.LabelTop, pos.LabelWidth, pos.LabelHeight);
            const QRect framed = box.adjusted(-spill, -spill, spill, spill);
            const int id = ids[std::size_t(i)];
            const QRect ink =
                cache.InkOf(id).translated(pos.LabelLeft + kLabelPadX, pos.LabelTop + kLabelPadY);
            bool drawBox = hasBox && !box.isEmpty() && framed.intersects(labelArea);
            bool drawText =
                !cache.Infos[std::size_t(id)].Text.isEmpty() && ink.intersects(labelArea);
            if (exact && (drawBox || drawText) && !box.isEmpty()) {
                if (box.top() != lastBandTop || box.height() != lastBandHeight) {
                    const qint64 key = (qint64(box.top()) << 32) | quint32(box.height());
                    auto it = bandIndex.constFind(key);
                    if (it == bandIndex.constEnd()) {
                        it = bandIndex.insert(key, int(bands.size()));
                        bands.emplace_back(area.left(), area.right());
                    }
                    lastBandTop = box.top();
                    lastBandHeight = box.height();
                    lastBand = it.value();
                }
                TBandCoverage &coverage = bands[std::size_t(lastBand)];
                // Only what stays inside the band's rows can lie under its later boxes. The
                // box and the text are judged apart: the text, the dear part, is often covered
                // where the box's left edge still shows.
                const auto covered = [&](const QRect &r) {
                    return r.top() >= box.top() && r.bottom() <= box.bottom() &&
                           coverage.Covered(std::max(r.left(), labelArea.left()),
                                            std::min(r.right(), labelArea.right()));
                };
                drawBox = drawBox && !covered(framed);
                drawText = drawText && !covered(ink);
                // The fill paints every pixel of the box that its clip lets through.
                const QRect painted = box & labelArea;
                if (drawBox && !marks.Transparent && painted.top() == box.top() &&
                    painted.bottom() == box.bottom())
                    coverage.Cover(painted.left(), painted.right());
            }
            if (drawBox)
                parts |= kDrawBox;
            if (drawText)
                parts |= kDrawText;
            work[std::size_t(i)] = parts;
        }
    }
}

void TSeriesPainter::DrawArrows(QPainter &painter, const TChartGeometry &g,
                                const TArrowSeries &series, const QRect &area, bool exact)
{
    const int n = series.Count();
    const double halfWidth = std::abs(series.ArrowWidth()) / 2.0;
    const double halfShaft = std::abs(series.ArrowWidth()) / 4.0;
    const double headLength = std::abs(series.ArrowHeight());
    const TChartPen &outline = series.Pointer.Pen;
    const int reach = int(std::ceil(halfWidth)) + (outline.Visible ? outline.Width : 0) + 2;

    // Backwards: an arrow that a later arrow of the same pixels repaints is left out.
    m_drawn.clear();
    if (exact)
        m_arrowShapes.Reset(std::size_t(n));
    for (int i = n; i-- > 0;) {
        const int x0 = g.XPixel(series.StartX(i)), y0 = g.YPixel(series.StartY(i));
        const int x1 = g.XPixel(series.EndX(i)), y1 = g.YPixel(series.EndY(i));
        if (x0 == x1 && y0 == y1)
            continue; // no length, no direction: nothing to draw
        const QRect bounds(QPoint(std::min(x0, x1) - reach, std::min(y0, y1) - reach),
                           QPoint(std::max(x0, x1) + reach, std::max(y0, y1) + reach));
        if (!bounds.intersects(area))
            continue;
        if (exact && !m_arrowShapes.Insert({x0, y0, x1, y1, 0, 0, 0, 0}))
            continue;
        m_drawn.push_back(i);
    }
    m_drawnPeak = std::max(m_drawnPeak, m_drawn.size());
    m_stats.ArrowsDrawn += m_drawn.size();
    if (m_drawn.empty())
        return;

    painter.setPen(outline.Visible ? PenOf(outline) : QPen(Qt::NoPen));
    TColor brushColor = series.ColorEachPoint ? ~series.Color(m_drawn.back()) : ~series.SeriesColor;
    for (auto it = m_drawn.rbegin(); it != m_drawn.rend(); ++it) {
        const int i = *it;
        const TColor color = series.ColorEachPoint ? series.Color(i) : series.SeriesColor;
        if (color != brushColor) {
            painter.setBrush(ToQColor(color));
            brushColor = color;
        }
        // Through the pixel centres, so that a bar is symmetric about its row, and from the
        // outer edge of the start pixel to the outer edge of the end pixel.
        const double px0 = g.XPixel(series.StartX(i)) + 0.5, py0 = g.YPixel(series.StartY(i)) + 0.5;
        const double px1 = g.XPixel(series.EndX(i)) + 0.5, py1 = g.YPixel(series.EndY(i)) + 0.5;
        const double centres = std::hypot(px1 - px0, py1 - py0);
        const double ux = (px1 - px0) / centres, uy = (py1 - py0) / centres;
        const double ax = px0 - ux * 0.5, ay = py0 - uy * 0.5;
        const double bx = px1 + ux * 0.5, by = py1 + uy * 0.5;
        const double length = centres + 1;
        const double nx = -uy, ny = ux;
        const double head = std::min(headLength, length);
        const double cx = bx - ux * head, cy = by - uy * head;
        if (head >= length) {
            const QPointF shape[3] = {{ax + nx * halfWidth, ay + ny * halfWidth},
                                      {bx, by},
                                      {ax - nx * halfWidth, ay - ny * halfWidth}};
            painter.drawPolygon(shape, 3);
        } else {
            const QPointF shape[7] = {{ax + nx * halfShaft, ay + ny * halfShaft},
                                      {cx + nx * halfShaft, cy + ny * halfShaft},
                                      {cx + nx * halfWidth, cy + ny * halfWidth},
                                      {bx, by},
                                      {cx - nx * halfWidth, cy - ny * halfWidth},
                                      {cx - nx * halfShaft, cy - ny * halfShaft},
                                      {ax - nx * halfShaft, ay - ny * halfShaft}};
            painter.drawPolygon(shape, 7);
        }
    }
}

void TSeriesPainter::DrawLabels(QPainter &painter, TArrowSeries &series, std::size_t index,
                                const QRect &plot)
{
    const std::vector<quint8> &work = m_labelWork[index];
    TFontCache &cache = *m_seriesFonts[index];
    const TSeriesMarks &marks = series.Marks;
    const std::vector<int> &ids = series.m_textIds;
    if (marks.Clip) {
        painter.save();
        painter.setClipRect(plot, Qt::IntersectClip);
    }
    const QPen leaderPen = PenOf(marks.Arrow);
    const QColor back = ToQColor(marks.BackColor);
    const QPen framePen = PenOf(marks.Frame);
    const QColor frameColor = ToQColor(marks.Frame.Color);
    const bool frameInside = marks.Frame.Visible && marks.Frame.Style == Qt::SolidLine;
    const QPen textPen(ToQColor(marks.Font.Color));
    painter.setFont(cache.Font);
    painter.setBrush(Qt::NoBrush);

    for (int i = 0; i < series.Count(); ++i) {
        const quint8 parts = work[std::size_t(i)];
        if (!parts)
            continue;
        const TSeriesMarkPosition &pos = *marks.Positions[std::size_t(i)];
        if (parts & kDrawLeader) {
            painter.setPen(leaderPen);
            painter.drawLine(pos.LeaderStart, pos.LeaderEnd);
        }
        if (parts & kDrawBox) {
            const QRect box(pos.LabelLeft, pos.LabelTop, pos.LabelWidth, pos.LabelHeight);
            // A solid frame lies inside the box, so that the box is all the label covers.
            const int t = std::clamp(marks.Frame.Width, 1,
                                     std::max(1, std::min(box.width(), box.height()) / 2));
            if (frameInside && !marks.Transparent) {
                // The same pixels as a fill and a frame inside it, in two steps instead of five.
                painter.fillRect(box, frameColor);
                painter.fillRect(box.adjusted(t, t, -t, -t), back);
            } else if (frameInside) {
                painter.fillRect(QRect(box.left(), box.top(), box.width(), t), frameColor);
                painter.fillRect(QRect(box.left(), box.bottom() - t + 1, box.width(), t),
                                 frameColor);
                painter.fillRect(QRect(box.left(), box.top() + t, t, box.height() - 2 * t),
                                 frameColor);
                painter.fillRect(QRect(box.right() - t + 1, box.top() + t, t, box.height() - 2 * t),
                                 frameColor);
            } else {
                if (!marks.Transparent)
                    painter.fillRect(box, back);
                if (marks.Frame.Visible) {
                    painter.setPen(framePen);
                    painter.drawRect(box.adjusted(0, 0, -1, -1));
                }
            }
        }
        if (!(parts & kDrawText))
            continue;
        TTextInfo &info = cache.Infos[std::size_t(ids[std::size_t(i)])];
        if (!info.Static) {
            info.Static.emplace(info.Text);
            info.Static->setTextFormat(Qt::PlainText);
            info.Static->prepare(QTransform(), cache.Font);
        }
        painter.setPen(textPen);
        // The same pixels as drawText with the baseline one ascent below this corner.
        painter.drawStaticText(QPointF(pos.LabelLeft + kLabelPadX, pos.LabelTop + kLabelPadY),
                               *info.Static);
    }
    if (marks.Clip)
        painter.restore();
}

void TSeriesPainter::DrawSeries(QPainter &painter, const TChartGeometry &g,
                                const std::vector<TArrowSeries *> &series, bool skipHidden)
{
    const QRect area = skipHidden ? VisibleArea(painter, g.Rect)
                                  : QRect(QPoint(-(1 << 29), -(1 << 29)), QPoint(1 << 29, 1 << 29));
    const QRect plot = g.PlotRect();
    const bool exact = skipHidden && ExactPixels(painter);
    painter.setRenderHint(QPainter::Antialiasing, false);
    m_stats = {};

    std::vector<TArrowSeries *> labelled;
    std::vector<std::size_t> labelIndex(series.size(), std::size_t(-1));
    m_seriesFonts.clear();
    for (std::size_t k = 0; k < series.size(); ++k) {
        TArrowSeries *s = series[k];
        m_stats.Arrows += std::size_t(s->Count());
        if (!s->Marks.Visible)
            continue;
        TFontCache &cache = FontCacheFor(s->Marks.Font);
        PlaceLabels(g, *s, cache);
        labelIndex[k] = labelled.size();
        labelled.push_back(s);
        m_seriesFonts.push_back(&cache);
        m_stats.Labels += std::size_t(s->Count());
    }
    DropUnusedTexts(series);
    m_labelWork.resize(labelled.size());
    ChooseLabelWork(labelled, area, plot, exact);
    for (const std::vector<quint8> &work : m_labelWork) {
        for (quint8 parts : work) {
            m_stats.LabelBoxesDrawn += (parts & kDrawBox) != 0;
            m_stats.LabelTextsDrawn += (parts & kDrawText) != 0;
            m_stats.LeadersDrawn += (parts & kDrawLeader) != 0;
        }
    }

    for (std::size_t k = 0; k < series.size(); ++k) {
        // Arrows stay inside the plot; labels go where their placement puts them.
        painter.save();
        painter.setClipRect(plot, Qt::IntersectClip);
        DrawArrows(painter, g, *series[k], area & plot.adjusted(-1, -1, 1, 1), exact);
        painter.restore();
        if (labelIndex[k] != std::size_t(-1))
            DrawLabels(painter, *series[k], labelIndex[k], plot);
    }
    m_labelWork.clear();
    // Room sized for a larger map before goes back once a drawing needs far less.
    m_labelShapes.Trim();
    m_arrowShapes.Trim();
    ShrinkOversized(m_drawn, m_drawnPeak);
    m_drawnPeak = 0;
    m_stats.MeasuredTexts = 0;
    for (const auto &f : m_fonts)
        m_stats.MeasuredTexts += f->Infos.size();
}
