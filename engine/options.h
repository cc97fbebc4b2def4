// The program-wide option set: one record filled by LoadSettings at start-up and
// written by SaveSettings at exit; windows change it in memory only.
#pragma once

#include <QString>
#include <QtGlobal>

namespace dravonel {

// Compression method (`Ashuku`).
enum Method : qint16 { kMethodNormal = 0, kMethodStored = 1, kMethodDouble = 2 };
// Archive format of normal and stored compression (`AshukuExe`).
enum Format : qint16 { kFormatLzh = 0, kFormatZip = 1 };
// Double-compression pattern (`Pattern`): the inner archive's format, then the
// final archive's.
enum DoublePattern : qint16 {
    kPatternLzhLzh = 0,
    kPatternLzhZip = 1,
    kPatternZipLzh = 2,
    kPatternZipZip = 3
};

// The largest display font (points) the windows take: the font dialog's
// larger choices, and larger stored sizes, are taken as it.
constexpr qint16 kLargestFontSize = 16;

struct OptionSet {
    // Fields carry the names of their store keys. A new record is all zero,
    // False or empty; LoadSettings gives each its stored value or default.
    QString Lzh_Opt;
    qint16 Ashuku = 0;
    bool Hiddn = false;
    QString TmpDir;
    bool UCase = false;
    bool Double = false;
    bool Auto = false;
    qint16 AutoExe = 0;
    bool AutoLog = false;
    bool Resize = false;
    bool Tip = false;
    qint16 Pattern = 0;
    qint16 AshukuExe = 0;
    QString Filter;
    QString Font_Name;
    qint16 Font_Size = 0;
    bool Font_Bold = false;
    bool Font_Italic = false;
    // ZIP names: False stores a name CP932 holds in CP932 with the Unicode Path
    // field (for Japanese Windows tools that predate the UTF-8 flag), True
    // every name in UTF-8 with the UTF-8 flag.
    bool ZipUtf8Names = false;

    // The option part of every ZIP command line but the name switch (ZipUtf8Names);
    // fixed, never stored.
    QString ZipOpt;
};

} // namespace dravonel
