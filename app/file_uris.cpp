#include "file_uris.h"

#include "paths.h"

#include <QUrl>

namespace dravonel {

bool localFilesOf(const QStringList& uris, QStringList& files, QString& error) {
    QStringList paths;
    for (const QString& uri : uris) {
        const QUrl url(uri, QUrl::StrictMode);
        const QString path = url.isValid() ? LocalFileOf(url) : QString();
        if (path.isEmpty()) {
            error = QStringLiteral("'%1' is not a local file URI (--uris)").arg(uri);
            return false;
        }
        paths << path;
    }
    files = paths;
    return true;
}

} // namespace dravonel
