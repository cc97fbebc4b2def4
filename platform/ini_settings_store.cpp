#include "ini_settings_store.h"

#include "system_folders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QSettings>
#include <QStringList>

#include <cerrno>
#include <sys/stat.h>
#include <vector>

namespace dravonel {

namespace {

// The lines of an INI text as byte ranges, each with the section its header
// opens ("" for any other line).
struct IniLine {
    qsizetype begin, end; // end: past the line break
    QByteArray header;
    bool content; // a key line (neither blank nor a comment)
};

std::vector<IniLine> iniLines(const QByteArray& text) {
    std::vector<IniLine> lines;
    qsizetype begin = 0;
    while (begin < text.size()) {
        qsizetype end = text.indexOf('\n', begin);
        end = end < 0 ? text.size() : end + 1;
        const QByteArray line = text.mid(begin, end - begin).trimmed();
        IniLine l{begin, end, QByteArray(), false};
        if (line.startsWith('[') && line.indexOf(']') > 0)
            l.header = line.mid(1, line.indexOf(']') - 1);
        l.content = !line.isEmpty() && !line.startsWith(';') && !line.startsWith('#');
        lines.push_back(l);
        begin = end;
    }
    return lines;
}

// The index past the last line of the section whose header is line `i`: its
// keys, without the blank lines and comments before the next header, which may
// belong to what follows.
size_t sectionEnd(const std::vector<IniLine>& lines, size_t i) {
    size_t last = i;
    for (size_t j = i + 1; j < lines.size() && lines[j].header.isEmpty(); ++j) {
        if (lines[j].content)
            last = j;
    }
    return last + 1;
}

// The text of `section` in `text` (its first occurrence), ending with a line
// break, or "" when the text has no such section.
QByteArray sectionText(const QByteArray& text, const QByteArray& section) {
    const std::vector<IniLine> lines = iniLines(text);
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].header != section)
            continue;
        const size_t end = sectionEnd(lines, i);
        QByteArray block = text.mid(lines[i].begin, lines[end - 1].end - lines[i].begin);
        if (!block.endsWith('\n'))
            block += '\n';
        return block;
    }
    return QByteArray();
}

// `target` with each of `sections` replaced by its text in `source` (where the
// first occurrence stood; later ones removed; added at the end when new;
// removed when `source` lacks it). Every other byte of `target` is kept.
QByteArray spliceSections(const QByteArray& target, const QByteArray& source,
                          const QSet<QString>& sections) {
    const bool crlf = target.contains("\r\n");
    auto replacement = [&](const QByteArray& section) {
        QByteArray block = sectionText(source, section);
        if (crlf)
            block.replace("\r\n", "\n").replace("\n", "\r\n");
        return block;
    };
    QSet<QByteArray> wanted, placed;
    for (const QString& s : sections)
        wanted.insert(s.toUtf8());
    const std::vector<IniLine> lines = iniLines(target);
    QByteArray result;
    for (size_t i = 0; i < lines.size();) {
        const IniLine& line = lines[i];
        if (!wanted.contains(line.header)) {
            result += target.mid(line.begin, line.end - line.begin);
            ++i;
            continue;
        }
        if (!placed.contains(line.header)) {
            placed.insert(line.header);
            result += replacement(line.header);
        }
        i = sectionEnd(lines, i);
    }
    for (const QByteArray& section : wanted) {
        if (placed.contains(section))
            continue;
        const QByteArray block = replacement(section);
        if (block.isEmpty())
            continue;
        if (!result.isEmpty() && !result.endsWith('\n'))
            result += crlf ? "\r\n" : "\n";
        if (!result.isEmpty() && !result.endsWith(crlf ? "\r\n\r\n" : "\n\n"))
            result += crlf ? "\r\n" : "\n";
        result += block;
    }
    return result;
}

// What a settings file name holds: nothing yet, a regular file (through a
// link too), or something else, which is left alone and whose settings take
// their defaults: a FIFO would block the program at its start, a device or a
// folder holds no settings, and a file larger than any settings file (a few KiB)
// is none either, which would be copied and read whole at each start.
enum class AtName { Nothing, File, Other };

constexpr off_t kLargestSettingsFile = 64 << 20;

AtName whatIsAt(const QString& path) {
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return errno == ENOENT ? AtName::Nothing : AtName::Other;
    return S_ISREG(st.st_mode) && st.st_size <= kLargestSettingsFile ? AtName::File : AtName::Other;
}

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

IniSettingsStore::IniSettingsStore(const QString& folder)
    : folder_(folder.isEmpty() ? defaultFolder() : folder) {}

IniSettingsStore::~IniSettingsStore() {
    sync();
}

QString IniSettingsStore::defaultFolder() {
    return UserBaseFolder("XDG_CONFIG_HOME", QStringLiteral(".config"));
}

QString IniSettingsStore::fileFor(const QString& application) const {
    return folder_ + QLatin1Char('/') + application + QStringLiteral(".ini");
}

IniSettingsStore::OpenFile& IniSettingsStore::openFor(const QString& application) {
    auto it = open_.find(application);
    if (it != open_.end())
        return it->second;
    if (!copies_)
        copies_ = std::make_unique<QTemporaryDir>();
    OpenFile open;
    QString path = fileFor(application);
    if (copies_->isValid()) {
        const QString copy = copies_->filePath(application + QStringLiteral(".ini"));
        QFile::remove(copy);
        if (!QFile::exists(path) || QFile::copy(path, copy)) {
            // The copy takes the file's mode; QSettings must be able to write it.
            QFile::setPermissions(copy, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
            path = copy;
            open.onCopy = true;
        }
    }
    open.settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
    return open_.emplace(application, std::move(open)).first->second;
}

QString IniSettingsStore::read(const QString& application, const QString& section,
                               const QString& key, const QString& defaultValue) {
    // Reading must not create a file for an application that has none.
    if (open_.find(application) == open_.end() && whatIsAt(fileFor(application)) != AtName::File)
        return defaultValue;
    QSettings& settings = *openFor(application).settings;
    const QString path = section + QLatin1Char('/') + key;
    if (!settings.contains(path))
        return defaultValue;
    const QVariant value = settings.value(path);
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

void IniSettingsStore::write(const QString& application, const QString& section, const QString& key,
                             const QString& value) {
    if (whatIsAt(fileFor(application)) == AtName::Other)
        return;
    QDir().mkpath(folder_);
    OpenFile& open = openFor(application);
    open.settings->setValue(section + QLatin1Char('/') + key, value);
    open.changed.insert(section);
}

void IniSettingsStore::deleteSection(const QString& application, const QString& section) {
    if (open_.find(application) == open_.end() && whatIsAt(fileFor(application)) != AtName::File)
        return;
    OpenFile& open = openFor(application);
    open.settings->remove(section);
    open.changed.insert(section);
    putBack(application, open);
}

void IniSettingsStore::deleteApplication(const QString& application) {
    open_.erase(application);
    // A regular file of any size goes: one too large to be read is removed too.
    if (QFileInfo(fileFor(application)).isFile())
        QFile::remove(fileFor(application));
}

void IniSettingsStore::putBack(const QString& application, OpenFile& open) {
    open.settings->sync();
    if (!open.onCopy || open.changed.isEmpty())
        return;
    const QString path = fileFor(application);
    // Other instances put their sections back under the same lock, and read
    // the file afresh, so neither loses what the other wrote.
    QLockFile lock(path + QStringLiteral(".lock"));
    if (!lock.lock())
        return;
    const bool existed = QFile::exists(path);
    const QByteArray before = fileBytes(path);
    const QByteArray after =
        spliceSections(before, fileBytes(open.settings->fileName()), open.changed);
    if (after == before && (existed || after.isEmpty())) {
        open.changed.clear();
        return;
    }
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(after) == after.size() && file.commit())
        open.changed.clear();
}

void IniSettingsStore::sync() {
    for (auto& [name, open] : open_)
        putBack(name, open);
}

} // namespace dravonel
