// Independent readers for metafiles written by the program: wmf2svg and ImageMagick (both on
// libwmf) for WMF, emf2svg-conv for EMF. Tests skip when a reader is not installed.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>

#include <optional>

namespace readers {

inline QString Tool(bool wmf)
{
    return wmf ? QStringLiteral("wmf2svg") : QStringLiteral("emf2svg-conv");
}
inline bool Installed(const QString &tool)
{
    return !QStandardPaths::findExecutable(tool).isEmpty();
}

// Runs the reader on the bytes; the SVG it writes, or nothing when it refuses the file.
inline std::optional<QString> ToSvg(bool wmf, const QByteArray &bytes, QString *error = nullptr)
{
    QTemporaryDir dir;
    const QString in = dir.filePath(wmf ? "in.wmf" : "in.emf");
    const QString out = dir.filePath("out.svg");
    QFile f(in);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        return std::nullopt;
    f.close();
    QProcess proc;
    if (wmf)
        proc.start(Tool(true), {"-o", out, in});
    else
        proc.start(Tool(false), {"-i", in, "-o", out});
    if (!proc.waitForFinished(60000) || proc.exitStatus() != QProcess::NormalExit ||
        proc.exitCode() != 0) {
        if (error)
            *error = QString::fromLocal8Bit(proc.readAllStandardError());
        return std::nullopt;
    }
    QFile svg(out);
    if (!svg.open(QIODevice::ReadOnly) || svg.size() == 0)
        return std::nullopt;
    return QString::fromUtf8(svg.readAll());
}

// All text the SVG shows, in document order. libwmf writes one element per character, so the
// characters are joined; emf2svg wraps each string in CDATA. Strings are separated by a bar.
inline QString TextOf(const QString &svg)
{
    static const QRegularExpression text(
        QStringLiteral("<text[^>]*>\\s*(?:<!\\[CDATA\\[)?(.*?)(?:\\]\\]>)?</text>"),
        QRegularExpression::DotMatchesEverythingOption);
    QString joined;
    for (const QRegularExpressionMatch &m : text.globalMatch(svg)) {
        const QString s = m.captured(1);
        joined += s;
        if (s.size() != 1)
            joined += QLatin1Char('|');
    }
    return joined;
}

// The WMF rasterised by ImageMagick at the picture's own resolution.
inline std::optional<QImage> RasterOfWmf(const QByteArray &bytes)
{
    QTemporaryDir dir;
    const QString in = dir.filePath("in.wmf");
    const QString out = dir.filePath("out.png");
    QFile f(in);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        return std::nullopt;
    f.close();
    QProcess proc;
    proc.start(QStringLiteral("convert"), {"-density", "96", in, out});
    // ImageMagick reads the Type 1 font anew for each WMF text it measures: seconds of processor
    // time for one map, a minute on a busy two-core machine. The wait only guards against a hang.
    if (!proc.waitForFinished(240000) || proc.exitCode() != 0)
        return std::nullopt;
    QImage image(out);
    if (image.isNull())
        return std::nullopt;
    return image.convertToFormat(QImage::Format_RGB32);
}

} // namespace readers
