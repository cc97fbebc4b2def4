// Files handed over as URIs ("file:///home/a/b%20c.txt"), as file managers
// whose command lines cannot quote every name safely pass them (--uris).
#pragma once

#include <QString>
#include <QStringList>

namespace dravonel {

// The local paths of `uris`; false with `error` naming the first that is not
// a local file URI.
bool localFilesOf(const QStringList& uris, QStringList& files, QString& error);

} // namespace dravonel
