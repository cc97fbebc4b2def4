// The drive list of the folder windows: a combo box of the mounted volumes a
// user browses, each shown by its root path.
#pragma once

#include <QComboBox>
#include <QString>
#include <QStringList>

namespace dravonel {

// The volumes of a mount table (the text of /proc/self/mounts) that a user
// browses: the root "/", the volume that holds `homeFolder`, and volumes
// mounted under /media, /mnt or /run/media. Pseudo file systems (proc, sysfs,
// tmpfs, cgroup, devpts, ...) are left out, except that the root is always
// listed whatever its type. Mount points are decoded from the table's octal
// escapes; each appears once, sorted with "/" first.
QStringList browsableVolumes(const QString& mountTable, const QString& homeFolder);

// The volume of `volumes` that holds the absolute path `path`: the longest
// mount point that is `path` itself or a folder above it. "" when none is.
QString volumeOf(const QString& path, const QStringList& volumes);

// A right click on the list opens no context menu (the window's pop-up menu
// belongs to the folder list and the window's background).
class DriveList : public QComboBox {
    Q_OBJECT
public:
    explicit DriveList(QWidget* parent = nullptr);

    // Root path of the selected volume ("" when the list is empty).
    QString drive() const;
    // Selects the volume that holds `path` (without signalling driveChanged).
    void setDriveOf(const QString& path);
    // Re-reads the mounted volumes, keeping the selected one while it exists.
    void refresh();

signals:
    // The user picked another volume.
    void driveChanged(const QString& root);
    // Enter was pressed in the list; the key itself is swallowed.
    void returnPressed();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void setVolumes(const QStringList& volumes);
    int lastIndex_ = -1;
};

} // namespace dravonel
