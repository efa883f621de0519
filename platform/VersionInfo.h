// The version record of a program file: our own counterparts of the Windows version API,
// reading the record that every Ostrinel program file carries in an ELF section.
#pragma once

#include <QtGlobal>

// The fixed part of the version record, laid out as the Windows structure of the same name.
struct VS_FIXEDFILEINFO
{
    quint32 dwSignature;        // 0xFEEF04BD
    quint32 dwStrucVersion;     // 0x00010000
    quint32 dwFileVersionMS;    // major << 16 | minor
    quint32 dwFileVersionLS;    // release << 16 | build
    quint32 dwProductVersionMS; // as the file version
    quint32 dwProductVersionLS;
    quint32 dwFileFlagsMask;
    quint32 dwFileFlags;
    quint32 dwFileOS;
    quint32 dwFileType;
    quint32 dwFileSubtype;
    quint32 dwFileDateMS;
    quint32 dwFileDateLS;
};

inline constexpr quint32 kFixedFileInfoSignature = 0xFEEF04BD;
// Name of the ELF section that holds the record.
inline constexpr char kVersionSectionName[] = ".note.ostrinel.version";

// Size in bytes of the version information of a program file; 0 when the file cannot be read,
// is no ELF file or carries no valid record.
quint32 GetFileVersionInfoSizeA(const char *fileName);
// Copies the version information (length bytes, from GetFileVersionInfoSizeA) into data.
bool GetFileVersionInfoA(const char *fileName, quint32 length, void *data);
// Looks a value up in version information read by GetFileVersionInfoA:
//   "\"                                  the VS_FIXEDFILEINFO;
//   "\VarFileInfo\Translation"           two 16-bit numbers, language and code page;
//   "\StringFileInfo\040904E4\<Name>"    the NUL-terminated text of a string entry (FileVersion,
//                                        ProductVersion, CompanyName, ...), length with the NUL.
// Names compare without regard to letter case. Gives false when there is no such value.
bool VerQueryValueA(const void *block, const char *subBlock, const void **buffer, quint32 *length);
