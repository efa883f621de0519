// Draws the two pictures of the about window: about.jpg, a 320 x 284 colour drawing of a small
// chromosome map, encoded with libjpeg, and about.emf, a 137 x 79 vector sketch of the same kind
// of map written record by record with libUEMF. Run through make_pictures.sh; the results are
// kept in resources/ and embedded in the program.
#include <QColor>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPolygonF>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>
#include <uemf.h>

namespace {

struct Gene
{
    int Start, End; // in picture units along the row
    bool Forward;
    int Name; // index into the names: homologous genes share it
};

// Four chromosomes, the third one turned round; gene colours by the number of rows carrying them.
const std::vector<std::vector<Gene>> kRows = {
    {{10, 38, true, 0}, {48, 70, true, 1}, {82, 118, false, 2}, {130, 150, true, 3}},
    {{6, 30, true, 0}, {40, 66, true, 1}, {78, 96, true, 4}, {106, 140, false, 2}},
    {{14, 44, false, 2}, {56, 80, true, 4}, {92, 116, true, 1}, {126, 152, true, 0}},
    {{8, 34, true, 0}, {46, 68, true, 5}, {80, 112, false, 2}, {122, 146, true, 1}},
};
const char *kNames[] = {"ACTB", "GAPD", "HOXA", "MYC", "TP53", "RAD"};
const char *kChromosomes[] = {"chr1", "chr2", "chr3", "chr4"};
// Fire colours: pale for genes on one row, red for genes on every row.
const QColor kFire[] = {QColor(255, 246, 190), QColor(255, 220, 40), QColor(255, 140, 0),
                        QColor(225, 20, 0)};

int RowsCarrying(int name)
{
    int count = 0;
    for (const auto &row : kRows)
        for (const Gene &gene : row)
            if (gene.Name == name) {
                ++count;
                break;
            }
    return count;
}

QPolygonF Arrow(double x0, double x1, double y, double half, bool forward)
{
    const double head = std::min(half * 1.6, (x1 - x0) / 2);
    if (forward)
        return QPolygonF({{x0, y - half},
                          {x1 - head, y - half},
                          {x1, y},
                          {x1 - head, y + half},
                          {x0, y + half}});
    return QPolygonF(
        {{x1, y - half}, {x0 + head, y - half}, {x0, y}, {x0 + head, y + half}, {x1, y + half}});
}

const Gene *Find(const std::vector<Gene> &row, int name)
{
    for (const Gene &gene : row)
        if (gene.Name == name)
            return &gene;
    return nullptr;
}

QImage DrawMap()
{
    QImage image(320, 284, QImage::Format_RGB32);
    image.fill(QColor(250, 248, 240));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const double left = 70, scale = 1.55, top = 58, step = 58;
    const auto x = [&](int c) { return left + c * scale; };
    const auto y = [&](int row) { return top + row * step; };

    QFont title(QStringLiteral("DejaVu Serif"));
    title.setPixelSize(22);
    title.setBold(true);
    title.setItalic(true);
    p.setFont(title);
    p.setPen(QColor(60, 40, 90));
    p.drawText(QRectF(0, 6, 320, 30), Qt::AlignCenter, QStringLiteral("Ostrinel"));

    // Connectors under the arrows, between homologous genes of successive rows.
    QPen connector(Qt::black, 1, Qt::DashLine);
    p.setPen(connector);
    for (std::size_t r = 1; r < kRows.size(); ++r)
        for (const Gene &gene : kRows[r])
            if (const Gene *above = Find(kRows[r - 1], gene.Name))
                p.drawLine(QPointF(x(above->Start + above->End) / 2 + left / 2, y(int(r) - 1) + 7),
                           QPointF(x(gene.Start + gene.End) / 2 + left / 2, y(int(r)) - 7));

    QFont small(QStringLiteral("DejaVu Sans"));
    small.setPixelSize(10);
    QFont bold = small;
    bold.setBold(true);
    for (std::size_t r = 0; r < kRows.size(); ++r) {
        p.setPen(QPen(QColor(90, 90, 90), 1));
        p.drawLine(QPointF(x(0), y(int(r))), QPointF(x(156), y(int(r))));
        p.setFont(bold);
        p.setPen(Qt::black);
        p.drawText(QRectF(4, y(int(r)) - 8, left - 12, 16), Qt::AlignRight | Qt::AlignVCenter,
                   QString::fromLatin1(kChromosomes[r]));
        for (const Gene &gene : kRows[r]) {
            const QColor colour = kFire[RowsCarrying(gene.Name) - 1];
            p.setPen(QPen(Qt::black, 0.8));
            p.setBrush(colour);
            p.drawPolygon(Arrow(x(gene.Start), x(gene.End), y(int(r)), 6, gene.Forward));
            p.setFont(small);
            p.drawText(
                QRectF(x(gene.Start) - 10, y(int(r)) - 24, x(gene.End) - x(gene.Start) + 20, 12),
                Qt::AlignCenter, QString::fromLatin1(kNames[gene.Name]));
        }
    }
    return image;
}

bool WriteJpeg(const QImage &picture, const char *fileName)
{
    FILE *file = std::fopen(fileName, "wb");
    if (file == nullptr)
        return false;
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    jpeg_compress_struct info;
    jpeg_error_mgr error;
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = JDIMENSION(rgb.width());
    info.image_height = JDIMENSION(rgb.height());
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<uchar *>(rgb.constScanLine(int(info.next_scanline)));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return std::fclose(file) == 0;
}

// The EMF sketch: three rows of arrows with dashed connectors on a pale ground.
bool WriteEmf(const char *fileName)
{
    const int width = 137, height = 79;
    EMFTRACK *et = nullptr;
    EMFHANDLES *eht = nullptr;
    if (emf_start(fileName, 65536, 65536, &et) != 0 || emf_htable_create(64, 64, &eht) != 0)
        return false;
    const U_RECTL bounds = rectl_set(point32_set(0, 0), point32_set(width - 1, height - 1));
    // The frame is in hundredths of a millimetre at 96 pixels per inch.
    const U_RECTL frame =
        rectl_set(point32_set(0, 0), point32_set(width * 2540 / 96, height * 2540 / 96));
    emf_append((U_ENHMETARECORD *)U_EMRHEADER_set(bounds, frame, nullptr, 0, nullptr,
                                                  sizel_set(1024, 768), sizel_set(271, 203), 0),
               et, U_REC_FREE);
    emf_append((U_ENHMETARECORD *)U_EMRSETMAPMODE_set(U_MM_TEXT), et, U_REC_FREE);

    uint32_t brush = 0, pen = 0;
    const auto useBrush = [&](U_COLORREF colour) {
        if (brush != 0) {
            emf_append((U_ENHMETARECORD *)selectobject_set(U_WHITE_BRUSH, eht), et, U_REC_FREE);
            emf_append((U_ENHMETARECORD *)deleteobject_set(&brush, eht), et, U_REC_FREE);
        }
        emf_append((U_ENHMETARECORD *)createbrushindirect_set(&brush, eht,
                                                              logbrush_set(U_BS_SOLID, colour, 0)),
                   et, U_REC_FREE);
        emf_append((U_ENHMETARECORD *)selectobject_set(brush, eht), et, U_REC_FREE);
    };
    const auto usePen = [&](uint32_t style, U_COLORREF colour) {
        if (pen != 0) {
            emf_append((U_ENHMETARECORD *)selectobject_set(U_BLACK_PEN, eht), et, U_REC_FREE);
            emf_append((U_ENHMETARECORD *)deleteobject_set(&pen, eht), et, U_REC_FREE);
        }
        U_POINT one = {1, 1};
        emf_append((U_ENHMETARECORD *)createpen_set(&pen, eht, logpen_set(style, one, colour)), et,
                   U_REC_FREE);
        emf_append((U_ENHMETARECORD *)selectobject_set(pen, eht), et, U_REC_FREE);
    };

    usePen(U_PS_SOLID, U_RGB(180, 170, 150));
    useBrush(U_RGB(246, 242, 228));
    emf_append((U_ENHMETARECORD *)U_EMRRECTANGLE_set(bounds), et, U_REC_FREE);

    const double left = 6, scale = 0.8, top = 14, step = 25;
    const auto x = [&](int c) { return int(left + c * scale); };
    const auto y = [&](int row) { return int(top + row * step); };
    usePen(U_PS_DASH, U_RGB(0, 0, 0));
    for (int r = 1; r < 3; ++r)
        for (const Gene &gene : kRows[std::size_t(r)])
            if (const Gene *above = Find(kRows[std::size_t(r - 1)], gene.Name)) {
                U_POINTL line[2] = {point32_set((x(above->Start) + x(above->End)) / 2, y(r - 1)),
                                    point32_set((x(gene.Start) + x(gene.End)) / 2, y(r))};
                emf_append((U_ENHMETARECORD *)U_EMRPOLYLINE_set(bounds, 2, line), et, U_REC_FREE);
            }
    for (int r = 0; r < 3; ++r) {
        usePen(U_PS_SOLID, U_RGB(80, 80, 80));
        U_POINTL axis[2] = {point32_set(x(0), y(r)), point32_set(x(156), y(r))};
        emf_append((U_ENHMETARECORD *)U_EMRPOLYLINE_set(bounds, 2, axis), et, U_REC_FREE);
        usePen(U_PS_SOLID, U_RGB(0, 0, 0));
        for (const Gene &gene : kRows[std::size_t(r)]) {
            const QColor c = kFire[RowsCarrying(gene.Name) - 1];
            useBrush(U_RGB(uint8_t(c.red()), uint8_t(c.green()), uint8_t(c.blue())));
            const QPolygonF arrow = Arrow(x(gene.Start), x(gene.End), y(r), 5, gene.Forward);
            std::vector<U_POINTL> points;
            for (const QPointF &point : arrow)
                points.push_back(point32_set(qRound(point.x()), qRound(point.y())));
            emf_append(
                (U_ENHMETARECORD *)U_EMRPOLYGON_set(bounds, uint32_t(points.size()), points.data()),
                et, U_REC_FREE);
        }
    }
    emf_append((U_ENHMETARECORD *)selectobject_set(U_WHITE_BRUSH, eht), et, U_REC_FREE);
    emf_append((U_ENHMETARECORD *)deleteobject_set(&brush, eht), et, U_REC_FREE);
    emf_append((U_ENHMETARECORD *)selectobject_set(U_BLACK_PEN, eht), et, U_REC_FREE);
    emf_append((U_ENHMETARECORD *)deleteobject_set(&pen, eht), et, U_REC_FREE);
    emf_append((U_ENHMETARECORD *)U_EMREOF_set(0, nullptr, et), et, U_REC_FREE);
    const bool ok = emf_finish(et, eht) == 0;
    emf_free(&et);
    emf_htable_free(&eht);
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_pictures about.jpg about.emf\n");
        return 2;
    }
    if (!WriteJpeg(DrawMap(), argv[1]) || !WriteEmf(argv[2])) {
        std::fprintf(stderr, "make_pictures: cannot write the pictures\n");
        return 1;
    }
    return 0;
}
