#include "session.h"

#include "paths.h"
#include "settings.h"

#include <QDir>
#include <QFileInfo>

namespace dravonel {

namespace {

// The folder as the kernel finds it (".." after a link leads where the link
// points, a name in another letter case is another folder), or "" when it is
// not a folder that can be listed.
QString listableFolder(const QString& folder) {
    if (folder.isEmpty())
        return QString();
    const QString target = LongPath(AbsolutePath(folder));
    const QFileInfo info(target);
    return info.isDir() && info.isReadable() && info.isExecutable() ? target : QString();
}

// The stored keys of a folder: the window prefix for the legacy rule, then the
// default, its flag and the folder open at the last exit.
struct FolderKeys {
    const char* prefix;
    const char* byDefault;
    const char* inForce;
    const char* last;
};
constexpr FolderKeys kKeys[2] = {{"InDir", "Dir_In", "Dir_In_Yuko", "OldDir_In"},
                                 {"OutDir", "Dir_Out", "Dir_Out_Yuko", "OldDir_Out"}};

} // namespace

Session::Session(MessageHost* host, QObject* parent) : QObject(parent), targets_(host) {}

QString Session::folder(Folder which) const {
    return LongPath(folders_[index(which)].path);
}

void Session::setFolder(Folder which, const QString& folder) {
    FolderState& state = folders_[index(which)];
    state.given = folder;
    const QString opened = listableFolder(folder);
    state.opened = !opened.isEmpty();
    const QString path = state.opened ? opened : listableFolder(QDir::currentPath());
    if (!path.isEmpty())
        state.path = path;
    emit folderSet(which);
}

void Session::noteFolderListed(Folder which, const QString& path) {
    folders_[index(which)].path = path;
    emit folderListed(which, path);
}

void Session::loadFolder(Folder which, SettingsStore& store) {
    const FolderKeys& k = kKeys[index(which)];
    const WindowSettings keys(store, QLatin1String(k.prefix));
    const QString current = QDir::currentPath();
    FolderDefault& d = folderDefault(which);
    d.folder = keys.read(QLatin1String(k.byDefault), current);
    d.inForce = keys.readBool(QLatin1String(k.inForce), true);
    const QString last = keys.read(QLatin1String(k.last), current);
    setFolder(which, d.inForce ? d.folder : last);
}

void Session::saveFolder(Folder which, SettingsStore& store) const {
    const FolderKeys& k = kKeys[index(which)];
    const WindowSettings keys(store, QLatin1String(k.prefix));
    const FolderDefault& d = folders_[index(which)].byDefault;
    keys.write(QLatin1String(k.byDefault), d.folder);
    keys.write(QLatin1String(k.inForce), boolText(d.inForce));
    keys.write(QLatin1String(k.last), folder(which));
}

} // namespace dravonel
