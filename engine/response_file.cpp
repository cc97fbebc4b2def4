#include "response_file.h"

#include "paths.h"
#include "target_list.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace dravonel {

namespace {

QByteArray line(const QString& path) {
    return '"' + path.toUtf8() + "\"\r\n";
}

} // namespace

QString responseFilePath(const QString& tmpDir) {
    QString dir = tmpDir;
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir + kResponseFileName;
}

bool writeResponseFile(const QString& path, const QByteArray& text) {
    const QByteArray native = QFile::encodeName(path);
    const int fd =
        ::open(native.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const char* p = text.constData();
    qsizetype left = text.size();
    bool ok = true;
    while (left > 0) {
        const ssize_t done = ::write(fd, p, size_t(left));
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0) {
            ok = false;
            break;
        }
        p += done;
        left -= done;
    }
    if (::close(fd) != 0)
        ok = false;
    return ok;
}

qint16 ResponseFileMaker::makeGroup(QString& name, const QString& tmpDir, bool byExtension) {
    respItems_.clear();
    name.clear();
    const int n = list_.count();
    auto keyOf = [byExtension](const QString& entry) {
        return UpperName(byExtension ? ExtensionOf(entry) : NameWithoutExt(entry));
    };

    int first = -1;
    for (int row = 0; row < n; ++row) {
        if (!list_.isMarked(row) || passedOver_.contains(row))
            continue;
        if (byExtension && ExtensionOf(list_.entry(row)).isEmpty())
            continue;
        first = row;
        break;
    }
    if (first < 0)
        return kRespNothingLeft;

    const QString firstEntry = list_.entry(first);
    QByteArray text = line(firstEntry);
    respItems_.append(first);
    list_.setCurrent(first);
    name = byExtension ? ExtensionOf(firstEntry).mid(1) : NameWithoutExt(firstEntry);
    const QString key = keyOf(firstEntry);
    for (int row = first + 1; row < n; ++row) {
        if (passedOver_.contains(row))
            continue;
        const QString entry = list_.entry(row);
        if (keyOf(entry) == key) {
            text += line(entry);
            respItems_.append(row);
        }
    }
    if (!writeResponseFile(responseFilePath(tmpDir), text))
        return kRespFailed;
    return kRespWritten;
}

qint16 ResponseFileMaker::MakeRespFile(QString& name, const QString& tmpDir) {
    return makeGroup(name, tmpDir, false);
}

qint16 ResponseFileMaker::MakeRespFileExp(QString& name, const QString& tmpDir) {
    return makeGroup(name, tmpDir, true);
}

qint16 ResponseFileMaker::MakeRespFileAll(const QString& tmpDir) {
    respItems_.clear();
    if (list_.count() == 0)
        return kRespWritten;
    QByteArray text;
    for (const QString& entry : list_.entries())
        text += line(entry);
    return writeResponseFile(responseFilePath(tmpDir), text) ? kRespWritten : kRespFailed;
}

bool ResponseFileMaker::Clear_MakeRespFile() {
    for (int row : respItems_)
        list_.setMarked(row, false);
    return true;
}

void ResponseFileMaker::passOverLastGroup() {
    for (int row : respItems_)
        passedOver_.insert(row);
}

} // namespace dravonel
