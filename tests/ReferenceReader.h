// The coordinate file reader written out plainly, line by line with the string units' own
// routines: the oracle the block reader is checked against, on hand-written and random text.
#pragma once

#include "core/Catalogue.h"
#include "util/StringOps.h"

#include <utility>

// The reader exactly as the file format describes it, line by line with the string routines, to
// check the block reader against.
inline std::vector<tGene> ReferenceRead(const QByteArray &text)
{
    std::vector<tGene> records;
    qint64 counter = 0;
    qsizetype p = 0;
    try {
        do {
            // Read one line: up to LF, every CR dropped; Ctrl+Z at its start ends the file.
            if (p < text.size() && text[p] == '\x1a')
                break;
            QByteArray line;
            while (p < text.size() && text[p] != '\n') {
                if (text[p] != '\r')
                    line += text[p];
                ++p;
            }
            if (p < text.size())
                ++p; // the LF
            ++counter;
            line = TrimBytes(line);
            if (line.isEmpty())
                continue;
            const tVectorOfString columns = SplitLine(line, '\t');
            if (columns.size() < 4)
                continue;
            tGene r;
            r.ChromosomeName = TrimBytes(columns[0]);
            r.Start = StrToInt(columns[1]);
            r.End = StrToInt(columns[2]);
            r.Strand = StrToInt(columns[3]);
            if (r.Strand == -1)
                std::swap(r.Start, r.End);
            r.GeneName = columns.size() >= 5 ? UpperCaseAZ(TrimBytes(columns[4])) : QByteArray();
            if (r.GeneName.isEmpty())
                r.GeneName = "???";
            if (columns.size() >= 6)
                r.Comment = UpperCaseAZ(TrimBytes(columns[5]));
            records.push_back(r);
        } while (p < text.size());
    } catch (const Exception &) {
        throw EInOutError(QStringLiteral("Error in the file at line %1").arg(counter));
    }
    return records;
}
