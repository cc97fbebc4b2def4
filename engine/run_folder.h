// The folder that holds one run's temporary files: the response file and the
// inner archives of a double compression.
//
// Two runs of the same user (two windows, a window and a batch run) may work at
// once with the same temporary folder setting, so every run gets a folder of its
// own, "run-XXXXXX", inside the temporary folder. The folder carries the
// program's mark, the file ".dravonel2-run" holding the folder's device and
// inode (writeFolderMark), and a run holds a lock on the file
// ".lock" in it while it lives; the folder is removed when the run ends, and a
// folder with both files whose lock is free (its run was killed) is removed by
// the next run that starts in the same place. Folders without the mark are
// never removed, whatever their name: the temporary folder may be one of the
// user's.
//
// A temporary folder that another user could write into, swap or replace is
// never written into: the run then works in the program's private folder.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <sys/stat.h>

namespace dravonel {

// Whether `name` is `prefix` in exactly this letter case followed by the six
// letters and digits mkdtemp puts in place of "XXXXXX": a name the program
// gives its own temporary folders.
bool isMkdtempName(const QByteArray& name, const char* prefix);

// The folders directly in `folder` named `prefix` plus six mkdtemp letters
// (isMkdtempName) that are real folders (not links) of the user's: their
// paths, each with what lstat said of it when listed.
struct OwnTempFolder {
    QByteArray path;
    struct stat st;
};
QList<OwnTempFolder> ownTempFolders(const QByteArray& folder, const char* prefix);

// Removes `folder` and everything in it, whatever bytes the names inside hold
// (a name need not be UTF-8, which a QString cannot give back); a link inside
// is removed, never followed. False when something stays.
bool removeFolder(const QString& folder);

// The descriptor of the lock on `path` (to be closed by the caller) when it is
// a regular file of the user's, not a link, and nobody holds the lock; else -1.
int takeFreeLock(const QByteArray& path);

// The program's mark on a folder it made, written into a file of its own that
// stands for the folder (a run folder's ".dravonel2-run", a staging folder's
// lock): the folder's device and inode. Names and contents can come out of
// anyone's archive; the inode a folder was given when the program made it
// cannot, so a sweep that finds the mark removes only what the program made.
bool writeFolderMark(int fd, const QByteArray& folder);
// Whether the file open as `fd` carries the mark of the folder `st` describes.
bool carriesFolderMark(int fd, const struct stat& st);

// True when `folder` is a real folder (not a symbolic link) owned by the user,
// that nobody else can write into, and every folder above it can be changed
// only by the user or root (a folder that others may write into, such as /tmp,
// counts only with its sticky bit, which keeps them from renaming our entries).
bool isPrivateFolder(const QString& folder);

// The user's own folder "dravonel2-<uid>" under `base` (made with mode 0700
// when missing), with a trailing separator, when it is a real folder owned by
// the user that nobody else can write into; else "".
QString PrivateFolderUnder(const QString& base);

class RunFolder {
public:
    RunFolder() = default;
    ~RunFolder();
    RunFolder(const RunFolder&) = delete;
    RunFolder& operator=(const RunFolder&) = delete;

    // Makes the run's folder inside `tmpDir` when that folder is private,
    // else inside `privateFallback`; first removes what killed runs left there.
    // False when neither can be used.
    bool create(const QString& tmpDir, const QString& privateFallback);
    // Removes the folder and everything in it.
    void remove();

    // The folder with a trailing separator, or "" when there is none.
    QString path() const { return path_; }

private:
    QString path_;
    int lockFd_ = -1;
};

// Removes the folders of runs that ended without cleaning up inside `base`:
// folders named exactly as the program names them (letter case included) that
// carry its mark and its lock file, with the lock free; a folder still in
// set-up ("new-XXXXXX") only when it is older than any set-up takes. Folders
// of live runs and every other folder are left alone.
void removeStaleRunFolders(const QString& base);

} // namespace dravonel
