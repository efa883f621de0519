#include "map/GroupColours.h"

#include "core/FeatureText.h"
#include "core/TextInput.h"
#include "util/StringOps.h"

#include <QBuffer>
#include <QColor>

#include <algorithm>
#include <array>

namespace {
// Ordered so that neighbours in the list, which are neighbours in the gene list, differ in hue.
constexpr std::array<TColor, 30> kPalette = {
    RGBToColor(0x44, 0x77, 0xAA), RGBToColor(0xEE, 0x66, 0x77), RGBToColor(0x22, 0x88, 0x33),
    RGBToColor(0xCC, 0xBB, 0x44), RGBToColor(0x66, 0xCC, 0xEE), RGBToColor(0xAA, 0x33, 0x77),
    RGBToColor(0xE6, 0x9F, 0x00), RGBToColor(0x00, 0x72, 0xB2), RGBToColor(0xD5, 0x5E, 0x00),
    RGBToColor(0x00, 0x9E, 0x73), RGBToColor(0xCC, 0x79, 0xA7), RGBToColor(0xF0, 0xE4, 0x42),
    RGBToColor(0x33, 0x22, 0x88), RGBToColor(0x88, 0xCC, 0xEE), RGBToColor(0x11, 0x77, 0x33),
    RGBToColor(0xCC, 0x66, 0x77), RGBToColor(0x44, 0xAA, 0x99), RGBToColor(0x88, 0x22, 0x55),
    RGBToColor(0xDD, 0xCC, 0x77), RGBToColor(0xAA, 0x44, 0x99), RGBToColor(0x99, 0x99, 0x33),
    RGBToColor(0x77, 0xAA, 0xDD), RGBToColor(0xEE, 0x88, 0x66), RGBToColor(0x44, 0xBB, 0x99),
    RGBToColor(0xFF, 0xAA, 0xBB), RGBToColor(0xBB, 0xCC, 0x33), RGBToColor(0x99, 0xDD, 0xFF),
    RGBToColor(0xEE, 0xDD, 0x88), RGBToColor(0xAA, 0xAA, 0x00), RGBToColor(0x56, 0xB4, 0xE9)};

// Each round of the palette after the first moves it towards black, then towards white.
TColor Shaded(TColor c, std::size_t round)
{
    if (round == 0)
        return c;
    const double share = 0.3 * double((round + 1) / 2) / double((round + 1) / 2 + 1);
    const int target = round % 2 ? 0 : 255;
    const auto mix = [&](int channel) { return int(channel + (target - channel) * share + 0.5); };
    return RGBToColor(mix(RedOf(c)), mix(GreenOf(c)), mix(BlueOf(c)));
}

[[noreturn]] void Fail(qint64 line, const QString &reason)
{
    throw EInOutError(
        QStringLiteral("Error in the colour table at line %1: %2").arg(line).arg(reason));
}

TColourTable ReadTable(QIODevice &device)
{
    TLineReader lines(device);
    TColourTable table;
    QByteArrayView line;
    try {
        while (lines.next(line)) {
            const QByteArray text = line.toByteArray().trimmed();
            if (text.isEmpty() || text.startsWith('#'))
                continue;
            const QList<QByteArray> fields = text.simplified().split(' ');
            if (fields.size() != 2)
                lines.fail(QStringLiteral("give a gene or group name, then its colour"));
            const QColor colour = QColor::fromString(QString::fromUtf8(fields[1]));
            if (!colour.isValid())
                lines.fail(QStringLiteral("\"%1\" is no colour: give #rrggbb or a colour name")
                               .arg(QString::fromUtf8(fields[1])));
            table.insert(UpperCaseAZ(fields[0]),
                         RGBToColor(colour.red(), colour.green(), colour.blue()));
        }
    } catch (const TFormatError &e) {
        Fail(e.Line, e.Reason);
    }
    return table;
}
} // namespace

TColor CategoricalColour(std::size_t k)
{
    return Shaded(kPalette[k % kPalette.size()], k / kPalette.size());
}

TColourTable ParseColourTable(const QByteArray &text)
{
    QByteArray copy = text;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    return ReadTable(buffer);
}

TColourTable ReadColourTable(const QString &path)
{
    TTextInput input(path);
    return ReadTable(input.device());
}

std::vector<TColor> GroupColours(const TCatalogue &catalogue,
                                 const std::vector<bool> &chromosomeChecked,
                                 const TColourTable &table)
{
    const std::size_t genes = catalogue.FGeneNames.size();
    // Per gene, the shown rows that carry it, counted up to two.
    std::vector<char> rows(genes, 0);
    std::vector<qint32> lastRow(genes, -1);
    for (std::size_t c = 0; c < catalogue.FRecords.size(); ++c) {
        if (c >= chromosomeChecked.size() || !chromosomeChecked[c])
            continue;
        const std::vector<tGene> &row = catalogue.FRecords[c];
        const std::vector<qint32> *zeros =
            c < catalogue.FZeroGenes.size() ? &catalogue.FZeroGenes[c] : nullptr;
        std::size_t zero = 0;
        for (const tGene &record : row) {
            qint32 g = record.GeneIndex;
            if (g == 0 && zeros && zero < zeros->size())
                g = (*zeros)[zero++];
            if (g < 0 || std::size_t(g) >= genes || lastRow[std::size_t(g)] == qint32(c))
                continue;
            lastRow[std::size_t(g)] = qint32(c);
            rows[std::size_t(g)] = char(std::min(2, rows[std::size_t(g)] + 1));
        }
    }
    std::vector<TColor> colours(genes, kSingleRowColour);
    std::size_t next = 0;
    for (std::size_t g = 0; g < genes; ++g) {
        const auto chosen = table.constFind(catalogue.FGeneNames[g]);
        if (chosen != table.cend())
            colours[g] = *chosen;
        else if (rows[g] >= 2 && catalogue.FGeneNames[g] != kUnknownGene)
            colours[g] = CategoricalColour(next++);
    }
    return colours;
}
