// One update of an archive at a time, across every run and process of the
// user: the window, the automatic run, batch runs and the file-manager actions
// all take the archive's lock before they make or update it and keep it until
// the archive is proven, so that two runs on one archive never lose each
// other's files.
//
// The lock is a file in the user's private lock folder named after the
// archive's folder (device and inode, so that every path to it counts the
// same) and the archive's name; it is removed when the lock is let go, and the
// folder with the last one.
#pragma once

#include <QString>

#include <functional>

namespace dravonel {

class ArchiveLock {
public:
    ArchiveLock() = default;
    ~ArchiveLock();
    ArchiveLock(const ArchiveLock&) = delete;
    ArchiveLock& operator=(const ArchiveLock&) = delete;

    // Takes the lock of `archive` (whose folder exists) in `lockFolder`
    // (made when missing). While another holds it, calls `keepWaiting`
    // between tries; its false gives up. False when the lock cannot be taken.
    bool acquire(const QString& lockFolder, const QString& archive,
                 const std::function<bool()>& keepWaiting);
    void release();

    bool held() const { return fd_ >= 0; }
    // Whether acquire had to wait for another run.
    bool waited() const { return waited_; }
    // The lock file of `archive` in `lockFolder` ("" when its folder is missing).
    static QString lockFileOf(const QString& lockFolder, const QString& archive);

private:
    int fd_ = -1;
    QByteArray path_;
    bool waited_ = false;
};

} // namespace dravonel
