// The archive formats as the run sees them: one table a format, naming its
// extension, the modules that make and read it, its switches and the lines it
// logs. Every command line of the run is built from these tables.
#pragma once

#include "archive_proof.h"
#include "archivers.h"

#include <QString>
#include <QStringList>

namespace dravonel {

struct LibraryState;
struct OptionSet;

struct FormatTable {
    ArchiveKind kind;
    const char* extension;      // of the archive: ".LZH"
    ArchiverModule maker;       // the module that makes and updates archives
    ArchiverModule reader;      // the module that lists and extracts them
    bool workFolderSwitch;      // "-w<temporary folder>" goes before the archive
    const char* responsePrefix; // before a response file's path: "@", "-i@"
    const char* listSwitch;     // lists the members: "l", "-l"
    const char* extractSwitch;  // extracts members: "x -+", "-x"
    const char* testSwitch;     // checks members without writing: "t", "-t"
    // Message ids: the lines logged before making an archive normally, stored,
    // as the inner archive of a double compression and as its final archive;
    // the box shown while the module is in use, and when it is missing (0:
    // none, the program does not start without it).
    int packing, packingStored, packingInner, packingOuter;
    int busyMessage, missingMessage;
};

const FormatTable& formatTable(ArchiveKind kind);
// The format of the archives the option set makes (normal and stored), and of
// the inner and final archives of its double-compression pattern.
const FormatTable& chosenFormat(const OptionSet& o);
const FormatTable& innerFormat(const OptionSet& o);
const FormatTable& outerFormat(const OptionSet& o);

bool isAvailable(const FormatTable& format, const LibraryState& libraries);

// The option part that makes an archive of `format`, normally or stored.
QString packOptions(const FormatTable& format, const OptionSet& o, bool stored);
// The option part that puts a double compression's inner archive into its
// final archive; `hiddenInner` when the inner archive's name begins with a dot.
QString outerOptions(const FormatTable& format, const OptionSet& o, bool hiddenInner);
// The quoted arguments that make `archive` from `input` (a file, or a response
// file's reference built with responseReference).
QStringList packArguments(const FormatTable& format, const QString& tmpFolder,
                          const QString& archive, const QString& input);
QString responseReference(const FormatTable& format, const QString& responseFile);

} // namespace dravonel
