#include "platform/FaceCheck.h"

#include <QFont>
#include <QFontInfo>

QString ResolvedMapFace()
{
    return QFontInfo(QFont(QStringLiteral("Arial"))).family();
}

bool HasArialMetrics(const QString &family)
{
    return family.compare(QLatin1String("Arial"), Qt::CaseInsensitive) == 0 ||
           family.compare(QLatin1String("Liberation Sans"), Qt::CaseInsensitive) == 0;
}

QString MapFaceWarning()
{
    const QString family = ResolvedMapFace();
    if (HasArialMetrics(family))
        return {};
    return QStringLiteral("Warning: the type face \"Arial\" is drawn as \"%1\", whose text widths "
                          "differ; install the package fonts-liberation2 so that labels and "
                          "figures come out as on other machines.")
        .arg(family);
}
