// The run's hold on an archive while it makes it, and the proof of what the
// archive holds once made.
#include "run.h"

#include "archive_reading.h"
#include "host.h"
#include "paths.h"
#include "run_folder.h"
#include "run_support.h"

#include <chrono>
#include <thread>

namespace dravonel {

using namespace run_support;

QString CompressionRun::lockFolder() const {
    // One place for the locks of all the user's runs, whatever temporary
    // folder each was given and whatever $TMPDIR each was started with: under
    // /tmp itself, and only where that cannot be had, in the run's own private
    // temporary folder.
    QString base = PrivateFolderUnder(QStringLiteral("/tmp"));
    if (base.isEmpty())
        base = c_.privateTemp;
    if (base.isEmpty()) {
        base = tmpFolder();
        if (base.endsWith(QLatin1Char('/')))
            base.chop(1);
        base = FolderOf(base);
    }
    return withSlash(base) + QStringLiteral("locks");
}

bool CompressionRun::lockArchive(ArchiveLock& lock, const QString& archive) {
    return lock.acquire(lockFolder(), archive, [this] {
        c_.host.yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return !cancel_.load();
    });
}

void CompressionRun::prove(const QString& archive, ArchiveKind kind, Proof& proof,
                           const QString& inner, ArchiveKind innerKind) {
    auto failAll = [&proof](ProofFailure failure) {
        proof.failures = QList<ProofFailure>(proof.files.size(), failure);
    };
    QList<ListedMember> members;
    if (listArchive(c_.archivers, kind, archive, members) != 0)
        return failAll(ProofFailure::NotInArchive);
    if (inner.isEmpty()) {
        proof.failures = proveFiles(members, kind, proof.files);
        if (c_.verify)
            verifyFiles(c_.archivers, kind, archive, proof.files, proof.failures, tmpFolder());
        return;
    }
    // The final archive holds the inner archive byte for byte, and the inner
    // archive the files.
    const Fingerprint print = fingerprintOf(inner, kind);
    if (!print.readable || !holdsMember(members, FileNameOf(inner), print))
        return failAll(ProofFailure::Differs);
    if (listArchive(c_.archivers, innerKind, inner, members) != 0)
        return failAll(ProofFailure::NotInArchive);
    proof.failures = proveFiles(members, innerKind, proof.files);
    if (c_.verify) {
        QList<ProofFailure> outer{ProofFailure::None};
        verifyFiles(c_.archivers, kind, archive, {inner}, outer, tmpFolder());
        if (outer.first() != ProofFailure::None)
            return failAll(ProofFailure::NotVerified);
        verifyFiles(c_.archivers, innerKind, inner, proof.files, proof.failures, tmpFolder());
    }
}

} // namespace dravonel
