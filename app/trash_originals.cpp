#include "trash_originals.h"

#include <QFile>
#include <QSaveFile>
#include <QSet>
#include <QUrl>

namespace dravonel {

namespace {

// Qt writes the original path into the .trashinfo as it is, where the trash
// format wants it escaped as in URLs: restored, a name holding "%20" would
// come back as a blank, one holding a lone "%" not at all. `trashed` is the
// file's path in files/ of the trash, `original` the path it had. The info
// file is rewritten (under a temporary name, then renamed over it) with the
// escaped path; a path Qt escaped itself, or one with nothing to escape, is
// left as it is. The file is in the trash either way.
void escapeTrashInfoPath(const QString& trashed, const QString& original) {
    const qsizetype slash = trashed.lastIndexOf(QLatin1Char('/'));
    const QString files = trashed.left(slash);
    const QString info = files.left(files.lastIndexOf(QLatin1Char('/'))) + QStringLiteral("/info") +
                         trashed.mid(slash) + QStringLiteral(".trashinfo");
    QFile in(info);
    if (!in.open(QIODevice::ReadOnly))
        return;
    QList<QByteArray> lines = in.readAll().split('\n');
    in.close();
    const QByteArray originalPath = QFile::encodeName(original);
    for (QByteArray& line : lines) {
        if (!line.startsWith("Path="))
            continue;
        const QByteArray path = line.mid(5);
        const QByteArray escaped = QUrl::toPercentEncoding(path, "/");
        // Qt writes the absolute path, or in a volume's own trash the path
        // below the volume's top folder.
        const bool asItIs = path == originalPath || originalPath.endsWith('/' + path);
        if (escaped == path || !asItIs)
            return;
        line = "Path=" + escaped;
        QSaveFile out(info);
        if (out.open(QIODevice::WriteOnly) && out.write(lines.join('\n')) >= 0)
            out.commit();
        return;
    }
}

} // namespace

int trashArchived(const QStringList& taken, const QList<NotArchived>& notArchived,
                  const std::function<void(const QString&)>& report) {
    QSet<QString> left;
    for (const NotArchived& n : notArchived)
        left.insert(n.path);
    int failed = 0;
    for (const QString& path : taken) {
        if (left.contains(path))
            continue;
        // Qt's trash renames the file into the trash folder of its volume and
        // writes its .trashinfo; it never copies and deletes. Moved, the
        // file's name is its path in the trash.
        QFile file(path);
        if (!file.moveToTrash()) {
            ++failed;
            report(QStringLiteral("not moved to the trash: %1 (%2)").arg(path, file.errorString()));
            continue;
        }
        escapeTrashInfoPath(file.fileName(), path);
    }
    return failed;
}

} // namespace dravonel
