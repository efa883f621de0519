// A stand-in for MMseqs2 on the PATH: a shell script that does what a case asks of the program
// (cluster, align, write a table cut short, hang with a child), so that the cases need no real
// MMseqs2. It is called as `mmseqs easy-cluster PROTEINS OUT WORK ...`, writing OUT_cluster.tsv,
// then for the alignment as createdb, tsv2db, align and `convertalis DB DB ALIGNED HITS ...`.
#pragma once

#include <QDir>
#include <QFile>
#include <QtGlobal>

// Puts p2 alone and every other protein into p0's cluster.
inline const QByteArray kPairClusters =
    "awk '/^>/ { n = substr($1, 2); print (n == \"p2\" ? n : \"p0\") \"\\t\" n }' \"$2\" "
    "> \"$3_cluster.tsv\"";

// Writes the script into folder and puts folder first on the PATH: body is what it does for
// easy-cluster, align for the alignment's steps.
inline void PutFakeMmseqs(const QString &folder, const QByteArray &body,
                          const QByteArray &align = {})
{
    QFile script(folder + QStringLiteral("/mmseqs"));
    const QByteArray text =
        "#!/bin/sh\nif [ \"$1\" != easy-cluster ]; then\n" + align + "\nexit\nfi\n" + body + '\n';
    if (!script.open(QIODevice::WriteOnly) || script.write(text) < 0)
        qFatal("cannot write %s", qPrintable(script.fileName()));
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QByteArray path = qgetenv("PATH");
    const QByteArray first = QFile::encodeName(folder) + ':';
    if (!path.startsWith(first))
        qputenv("PATH", first + path);
}
