#include "trash_originals.h"

#include <QFile>
#include <QSet>

namespace dravonel {

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
        // writes its .trashinfo; it never copies and deletes.
        QFile file(path);
        if (!file.moveToTrash()) {
            ++failed;
            report(QStringLiteral("not moved to the trash: %1 (%2)").arg(path, file.errorString()));
        }
    }
    return failed;
}

} // namespace dravonel
