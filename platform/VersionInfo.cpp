// The version record lives in an ELF note section of the program file. It is defined here, in
// the same unit as its readers, so every program that can ask for its version carries one; it is
// read back from the file on disk rather than from memory, so a copy of the program with the
// section removed reads as a program without version information.
#include "platform/VersionInfo.h"

#include <QByteArray>
#include <QFile>

#include <elf.h>

#include <cstddef>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#ifndef OSTRINEL_VERSION_MAJOR
#define OSTRINEL_VERSION_MAJOR 1
#define OSTRINEL_VERSION_MINOR 0
#define OSTRINEL_VERSION_PATCH 10
#define OSTRINEL_VERSION_TWEAK 26
#endif

#define OSTRINEL_STR2(x) #x
#define OSTRINEL_STR(x) OSTRINEL_STR2(x)
#define OSTRINEL_FILE_VERSION_TEXT                                                                 \
    OSTRINEL_STR(OSTRINEL_VERSION_MAJOR)                                                           \
    "." OSTRINEL_STR(OSTRINEL_VERSION_MINOR) "." OSTRINEL_STR(                                     \
        OSTRINEL_VERSION_PATCH) "." OSTRINEL_STR(OSTRINEL_VERSION_TWEAK)

// The string table: name and value pairs, each NUL-terminated, ended by an empty name (the
// literal's own terminator). Every piece is its own literal so that no "\0" runs into a digit.
#define OSTRINEL_VERSION_STRINGS                                                                   \
    "CompanyName\0"                                                                                \
    "\0"                                                                                           \
    "FileDescription\0"                                                                            \
    "\0"                                                                                           \
    "FileVersion\0" OSTRINEL_FILE_VERSION_TEXT "\0"                                                \
    "InternalName\0"                                                                               \
    "\0"                                                                                           \
    "OriginalFilename\0"                                                                           \
    "\0"                                                                                           \
    "ProductName\0"                                                                                \
    "\0"                                                                                           \
    "ProductVersion\0"                                                                             \
    "1.0.0.0\0"                                                                                    \
    "Comments\0"                                                                                   \
    "\0"

namespace {

constexpr quint32 kStringsSize = (sizeof(OSTRINEL_VERSION_STRINGS) + 3) & ~3u;
constexpr char kNoteName[] = "Ostrinel";
constexpr quint32 kNoteNameSize = (sizeof(kNoteName) + 3) & ~3u;
constexpr quint32 kNoteType = 1;
constexpr char kLanguage[] = "040904E4"; // US English, Windows Latin-1
constexpr quint16 kLanguageId = 0x0409;
constexpr quint16 kCodePage = 0x04E4;
// A record is a few hundred bytes; anything much larger is not ours.
constexpr quint64 kMaxSectionSize = 1 << 16;

// The version information as GetFileVersionInfoA hands it out.
struct tVersionBlock
{
    VS_FIXEDFILEINFO Fixed;
    quint16 Translation[2];
    quint32 StringsLength;
    char Strings[kStringsSize];
};
constexpr std::size_t kBlockHeaderSize = offsetof(tVersionBlock, Strings);

// The note as it sits in the section: header, owner name, then the block as the description.
struct tVersionNote
{
    Elf64_Nhdr Header; // same layout as Elf32_Nhdr
    char Name[kNoteNameSize];
    tVersionBlock Block;
};

constexpr quint32 kVersionMS = quint32(OSTRINEL_VERSION_MAJOR) << 16 | OSTRINEL_VERSION_MINOR;
constexpr quint32 kVersionLS = quint32(OSTRINEL_VERSION_PATCH) << 16 | OSTRINEL_VERSION_TWEAK;

[[gnu::section(".note.ostrinel.version"), gnu::used,
  gnu::aligned(4)]] const tVersionNote kVersionNote = {
    {sizeof(kNoteName), sizeof(tVersionBlock), kNoteType},
    "Ostrinel",
    {{kFixedFileInfoSignature, 0x00010000, kVersionMS, kVersionLS, kVersionMS, kVersionLS, 0x3F, 0,
      0x40004 /* NT, 32-bit Windows */, 1 /* application */, 0, 0, 0},
     {kLanguageId, kCodePage},
     sizeof(OSTRINEL_VERSION_STRINGS),
     OSTRINEL_VERSION_STRINGS},
};

bool ReadAt(QFile &file, quint64 offset, void *data, quint64 size)
{
    const quint64 fileSize = quint64(file.size());
    if (offset > fileSize || size > fileSize - offset)
        return false;
    return file.seek(qint64(offset)) &&
           file.read(static_cast<char *>(data), qint64(size)) == qint64(size);
}

// The contents of the named section, read through the section headers.
template <typename Ehdr, typename Shdr>
std::optional<QByteArray> ReadSection(QFile &file, const char *name)
{
    Ehdr header;
    if (!ReadAt(file, 0, &header, sizeof header) || header.e_shentsize != sizeof(Shdr) ||
        header.e_shoff == 0)
        return std::nullopt;
    Shdr first;
    if (!ReadAt(file, header.e_shoff, &first, sizeof first))
        return std::nullopt;
    // Files with many sections keep the real counts in the first section header.
    const quint64 count = header.e_shnum != 0 ? header.e_shnum : first.sh_size;
    const quint64 namesIndex = header.e_shstrndx != SHN_XINDEX ? header.e_shstrndx : first.sh_link;
    if (count == 0 || count > 65536 || namesIndex >= count)
        return std::nullopt;
    std::vector<Shdr> sections(count);
    if (!ReadAt(file, header.e_shoff, sections.data(), count * sizeof(Shdr)))
        return std::nullopt;
    const Shdr &names = sections[namesIndex];
    if (names.sh_type == SHT_NOBITS || names.sh_size > (1 << 24))
        return std::nullopt;
    QByteArray nameTable(qsizetype(names.sh_size), '\0');
    if (!ReadAt(file, names.sh_offset, nameTable.data(), names.sh_size))
        return std::nullopt;
    const std::size_t nameLength = std::strlen(name);
    for (const Shdr &section : sections) {
        const quint64 at = section.sh_name;
        if (at + nameLength >= quint64(nameTable.size()) ||
            std::memcmp(nameTable.constData() + at, name, nameLength + 1) != 0)
            continue;
        if (section.sh_type == SHT_NOBITS || section.sh_size > kMaxSectionSize)
            return std::nullopt;
        QByteArray contents(qsizetype(section.sh_size), '\0');
        if (!ReadAt(file, section.sh_offset, contents.data(), section.sh_size))
            return std::nullopt;
        return contents;
    }
    return std::nullopt;
}

// The version block of a program file, checked so that VerQueryValueA may trust its lengths.
std::optional<QByteArray> ReadVersionBlock(const char *fileName)
{
    if (fileName == nullptr)
        return std::nullopt;
    QFile file(QFile::decodeName(fileName));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    unsigned char ident[EI_NIDENT];
    if (!ReadAt(file, 0, ident, sizeof ident) || std::memcmp(ident, ELFMAG, SELFMAG) != 0)
        return std::nullopt;
    const unsigned char nativeData =
        QSysInfo::ByteOrder == QSysInfo::LittleEndian ? ELFDATA2LSB : ELFDATA2MSB;
    if (ident[EI_DATA] != nativeData)
        return std::nullopt;
    std::optional<QByteArray> note;
    if (ident[EI_CLASS] == ELFCLASS64)
        note = ReadSection<Elf64_Ehdr, Elf64_Shdr>(file, kVersionSectionName);
    else if (ident[EI_CLASS] == ELFCLASS32)
        note = ReadSection<Elf32_Ehdr, Elf32_Shdr>(file, kVersionSectionName);
    if (!note || quint64(note->size()) < sizeof(Elf64_Nhdr))
        return std::nullopt;

    Elf64_Nhdr header;
    std::memcpy(&header, note->constData(), sizeof header);
    const quint64 nameSize = (quint64(header.n_namesz) + 3) & ~quint64(3);
    const quint64 descAt = sizeof header + nameSize;
    if (header.n_type != kNoteType || header.n_namesz != sizeof(kNoteName) ||
        descAt + header.n_descsz > quint64(note->size()) ||
        std::memcmp(note->constData() + sizeof header, kNoteName, sizeof(kNoteName)) != 0 ||
        header.n_descsz < kBlockHeaderSize)
        return std::nullopt;
    QByteArray block = note->mid(qsizetype(descAt), qsizetype(header.n_descsz));
    tVersionBlock head;
    std::memcpy(&head, block.constData(), kBlockHeaderSize);
    if (head.Fixed.dwSignature != kFixedFileInfoSignature ||
        head.StringsLength > quint64(block.size()) - kBlockHeaderSize)
        return std::nullopt;
    return block;
}

// The parts of a sub-block path such as "\StringFileInfo\040904E4\FileVersion".
std::vector<std::string> SplitSubBlock(const char *subBlock)
{
    std::vector<std::string> parts;
    std::string part;
    for (const char *c = subBlock; *c != '\0'; ++c) {
        if (*c == '\\') {
            if (!part.empty())
                parts.push_back(part);
            part.clear();
        } else {
            part += *c;
        }
    }
    if (!part.empty())
        parts.push_back(part);
    return parts;
}

bool SameName(const std::string &a, const char *b)
{
    return qstricmp(a.c_str(), b) == 0;
}

} // namespace

quint32 GetFileVersionInfoSizeA(const char *fileName)
{
    const std::optional<QByteArray> block = ReadVersionBlock(fileName);
    return block ? quint32(block->size()) : 0;
}

bool GetFileVersionInfoA(const char *fileName, quint32 length, void *data)
{
    const std::optional<QByteArray> block = ReadVersionBlock(fileName);
    if (!block || data == nullptr || length < quint32(block->size()))
        return false;
    std::memcpy(data, block->constData(), std::size_t(block->size()));
    return true;
}

bool VerQueryValueA(const void *block, const char *subBlock, const void **buffer, quint32 *length)
{
    if (block == nullptr || subBlock == nullptr || buffer == nullptr)
        return false;
    const char *bytes = static_cast<const char *>(block);
    const std::vector<std::string> parts = SplitSubBlock(subBlock);
    const auto answer = [&](const void *value, quint32 size) {
        *buffer = value;
        if (length != nullptr)
            *length = size;
        return true;
    };

    if (parts.empty())
        return answer(bytes + offsetof(tVersionBlock, Fixed), sizeof(VS_FIXEDFILEINFO));
    if (parts.size() == 2 && SameName(parts[0], "VarFileInfo") && SameName(parts[1], "Translation"))
        return answer(bytes + offsetof(tVersionBlock, Translation), sizeof(quint16) * 2);
    if (parts.size() != 3 || !SameName(parts[0], "StringFileInfo") ||
        !SameName(parts[1], kLanguage))
        return false;

    quint32 stringsLength;
    std::memcpy(&stringsLength, bytes + offsetof(tVersionBlock, StringsLength),
                sizeof stringsLength);
    const char *strings = bytes + kBlockHeaderSize;
    // Walk the name/value pairs; every length is bounded by the table, which
    // GetFileVersionInfoA has checked against the record.
    quint32 at = 0;
    while (at < stringsLength) {
        const char *name = strings + at;
        const quint32 nameLength = quint32(qstrnlen(name, stringsLength - at));
        if (nameLength == 0 || at + nameLength + 1 >= stringsLength)
            return false;
        const char *value = name + nameLength + 1;
        const quint32 valueAt = at + nameLength + 1;
        const quint32 valueLength = quint32(qstrnlen(value, stringsLength - valueAt));
        if (valueAt + valueLength >= stringsLength)
            return false;
        if (SameName(parts[2], name))
            return answer(value, valueLength + 1);
        at = valueAt + valueLength + 1;
    }
    return false;
}
