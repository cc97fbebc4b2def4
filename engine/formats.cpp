#include "formats.h"

#include "messages.h"
#include "options.h"

namespace dravonel {

namespace {

const FormatTable kLzh{ArchiveKind::Lzh,
                       ".LZH",
                       ArchiverModule::Lha,
                       ArchiverModule::Lha,
                       true,
                       "@",
                       "l",
                       "x -+",
                       "t",
                       msg::RunLzh,
                       msg::RunLzhStored,
                       msg::RunLzhFirstStage,
                       msg::RunLzhSecondStage,
                       msg::LhaLibraryBusy,
                       0};
const FormatTable kZip{ArchiveKind::Zip,
                       ".ZIP",
                       ArchiverModule::Zip,
                       ArchiverModule::UnZip,
                       false,
                       "-i@",
                       "-l",
                       "-x",
                       "-t",
                       msg::RunZip,
                       msg::RunZipStored,
                       msg::RunZipFirstStage,
                       msg::RunZipSecondStage,
                       msg::ZipLibraryBusy,
                       msg::ZipLibraryMissing};

// The ZIP options with the name switch the setting asks for.
QString zipOptions(const QString& options, const OptionSet& o) {
    return o.ZipUtf8Names ? options + QStringLiteral(" -utf8") : options;
}

} // namespace

const FormatTable& formatTable(ArchiveKind kind) {
    return kind == ArchiveKind::Zip ? kZip : kLzh;
}

const FormatTable& chosenFormat(const OptionSet& o) {
    return o.AshukuExe == kFormatZip ? kZip : kLzh;
}

const FormatTable& innerFormat(const OptionSet& o) {
    return o.Pattern == kPatternZipLzh || o.Pattern == kPatternZipZip ? kZip : kLzh;
}

const FormatTable& outerFormat(const OptionSet& o) {
    return o.Pattern == kPatternLzhZip || o.Pattern == kPatternZipZip ? kZip : kLzh;
}

bool isAvailable(const FormatTable& format, const LibraryState& libraries) {
    return format.kind == ArchiveKind::Zip ? libraries.ZipAvailable : libraries.LhaAvailable;
}

QString packOptions(const FormatTable& format, const OptionSet& o, bool stored) {
    // Where an option part ends in a blank, two blanks stand before the first
    // quote of the command line.
    if (format.kind == ArchiveKind::Lzh)
        return stored ? o.Lzh_Opt + QStringLiteral(" -z1 ") : o.Lzh_Opt;
    return zipOptions(o.ZipOpt, o) + (stored ? QStringLiteral(" -0 ") : QStringLiteral(" -9 "));
}

QString outerOptions(const FormatTable& format, const OptionSet& o, bool hiddenInner) {
    // An inner archive whose name begins with a dot is a hidden file, which
    // the modules take only with their switch for hidden files.
    if (format.kind == ArchiveKind::Lzh)
        return hiddenInner ? QStringLiteral("u -+ -a1") : QStringLiteral("u -+");
    return zipOptions(hiddenInner ? QStringLiteral("-j -S -9") : QStringLiteral("-j -9"), o);
}

QStringList packArguments(const FormatTable& format, const QString& tmpFolder,
                          const QString& archive, const QString& input) {
    if (format.workFolderSwitch)
        return {QStringLiteral("-w") + tmpFolder, archive, input};
    return {archive, input};
}

QString responseReference(const FormatTable& format, const QString& responseFile) {
    return QString::fromLatin1(format.responsePrefix) + responseFile;
}

} // namespace dravonel
