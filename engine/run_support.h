// What the run's own files share: small rules about names, folders and
// module results.
#pragma once

#include "arc_module.h"
#include "archive_proof.h"
#include "paths.h"

#include <QFile>
#include <QString>

#include <climits>
#include <unistd.h>

namespace dravonel::run_support {

inline QString withSlash(const QString& folder) {
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

// An archive name that would put the archive elsewhere than the output folder
// never reaches a command line. A backslash is an ordinary character of a
// Linux name and stays.
inline bool safeArchiveName(const QString& name) {
    return !name.contains(QLatin1Char('/'));
}

// A module's result that means the archive was made: without a fault, or with
// that many files skipped.
inline bool madeArchive(int code) {
    return code >= 0 && code <= ARC_MAX_SKIPPED;
}

// Whether `name` fits the file system of `folder` as one name, and the path
// it makes there the longest path the kernel takes (a longer one fails like
// a folder that cannot be written into, which would stop the whole run).
inline bool nameFits(const QString& folder, const QString& name) {
    long longest = ::pathconf(QFile::encodeName(folder).constData(), _PC_PATH_MAX);
    if (longest <= 0)
        longest = PATH_MAX;
    const qsizetype bytes = QFile::encodeName(name).size();
    return bytes <= LongestNameIn(folder) &&
           QFile::encodeName(withSlash(folder)).size() + bytes < longest;
}

inline ArchiveKind kindOf(ArchiverModule module) {
    return module == ArchiverModule::Zip ? ArchiveKind::Zip : ArchiveKind::Lzh;
}

// The line that names a file that is in no archive, and why.
inline QString notArchivedLine(const QString& path, ProofFailure failure) {
    return QStringLiteral("　圧縮されていません（%1）：%2")
        .arg(failureText(failure), ShortPath(path));
}

} // namespace dravonel::run_support
