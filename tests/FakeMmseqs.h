// A stand-in for MMseqs2 on the PATH: a shell script that does what a case asks of the program
// (cluster, write a table cut short, hang with a child), so that the cases need no real MMseqs2.
// It is called as `mmseqs easy-cluster PROTEINS OUT WORK ...` and writes OUT_cluster.tsv.
#pragma once

#include <QDir>
#include <QFile>
#include <QtGlobal>

// Puts p2 alone and every other protein into p0's cluster.
inline const QByteArray kPairClusters =
    "awk '/^>/ { n = substr($1, 2); print (n == \"p2\" ? n : \"p0\") \"\\t\" n }' \"$2\" "
    "> \"$3_cluster.tsv\"";

// Writes the script into folder and puts folder first on the PATH.
inline void PutFakeMmseqs(const QString &folder, const QByteArray &body)
{
    QFile script(folder + QStringLiteral("/mmseqs"));
    if (!script.open(QIODevice::WriteOnly) || script.write("#!/bin/sh\n" + body + '\n') < 0)
        qFatal("cannot write %s", qPrintable(script.fileName()));
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QByteArray path = qgetenv("PATH");
    const QByteArray first = QFile::encodeName(folder) + ':';
    if (!path.startsWith(first))
        qputenv("PATH", first + path);
}
