#include "file_uris.h"

#include "paths.h"

#include <QUrl>

namespace dravonel {

bool localFilesOf(const QStringList& uris, QStringList& files, QString& error) {
    QStringList paths;
    for (const QString& uri : uris) {
        const QUrl url(uri, QUrl::StrictMode);
        if (!url.isValid() || !url.isLocalFile()) {
            error = QStringLiteral("'%1' is not a local file URI (--uris)").arg(uri);
            return false;
        }
        // The path's own bytes (its percent escapes undone), so that a name
        // that is not UTF-8 keeps them instead of turning into another name.
        paths << (url.host().isEmpty() ? DecodeOutsideName(QByteArray::fromPercentEncoding(
                                             url.path(QUrl::FullyEncoded).toLatin1()))
                                       : url.toLocalFile());
    }
    files = paths;
    return true;
}

} // namespace dravonel
