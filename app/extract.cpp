#include "extract.h"

#include "arc_module.h"
#include "archive_proof.h"
#include "archive_reading.h"
#include "archivers.h"
#include "batch.h"
#include "desktop_notice.h"
#include "file_uris.h"
#include "paths.h"
#include "progress_line.h"
#include "system_folders.h"
#include "terminal_text.h"
#include "termination.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

namespace dravonel {

namespace {

enum class Verb { List, Test, Extract };

struct ReadingOptions {
    Verb verb = Verb::List;
    QString out;
    bool beside = false; // each archive into its own folder
    bool inner = false;
    bool notify = false;
    bool help = false;
    QStringList archives;
};

// A file that extraction left in the staging folder, and the member it is.
struct Staged {
    QString path;   // in the staging folder
    QString member; // as the terminal names it: "member" or "inner archive/member"
};

// The command's output: lines on standard output, failures on standard error
// (both escaped, the progress line cleared first), every line also kept for
// the log of --notify.
class ReadingOutput {
public:
    ReadingOutput(ProgressLine& progress, bool keep) : progress_(progress), keep_(keep) {}
    void line(const QString& text) { write(stdout, text); }
    void failure(const QString& text) {
        ++failures_;
        write(stderr, QStringLiteral("dravonel2: ") + text);
    }
    void error(const QString& text) { write(stderr, QStringLiteral("dravonel2: ") + text); }
    int failures() const { return failures_; }
    const QStringList& lines() const { return lines_; }

private:
    void write(FILE* stream, const QString& text) {
        progress_.clear();
        printTerminalLine(stream, text);
        if (keep_)
            lines_ << text;
    }
    ProgressLine& progress_;
    bool keep_;
    int failures_ = 0;
    QStringList lines_;
};

// Whether members' files could land on one name (one name in two folders, "/"
// or "\" taken as the separator).
bool namesCollide(const QList<ListedMember>& files) {
    QSet<QString> names;
    for (const ListedMember& m : files) {
        const QSet<QString> own{bareMemberName(m.path, false), bareMemberName(m.path, true)};
        if (names.intersects(own))
            return true;
        names.unite(own);
    }
    return false;
}

// The file a member became in `folder` (its bare name with either separator),
// or "" when it did not arrive as a plain file.
QString arrivedFile(const QString& folder, const ListedMember& m) {
    for (bool backslash : {false, true}) {
        const QString bare = bareMemberName(m.path, backslash);
        const QString candidate = folder + QLatin1Char('/') + bare;
        const QFileInfo info(candidate);
        if (!bare.isEmpty() && info.isFile() && !info.isSymLink())
            return candidate;
    }
    return QString();
}

class Reader {
public:
    Reader(const ReadingOptions& o, ModuleArchivers& modules, ReadingOutput& out,
           ProgressLine& progress)
        : o_(o), modules_(modules), out_(out), progress_(progress) {}

    void run() {
        TerminationWatcher termination;
        QObject::connect(&termination, &TerminationWatcher::terminationRequested,
                         [this](int sig) { signalled_ = sig; });
        for (int i = 0; i < o_.archives.size() && signalled_ == 0; ++i) {
            index_ = i + 1;
            const QString& given = o_.archives[i];
            const QString path = AbsolutePath(given);
            if (HoldsUndecodedBytes(path)) {
                out_.failure(QStringLiteral("'%1': its name is not valid UTF-8").arg(given));
                continue;
            }
            if (QFileInfo(path).isDir()) {
                out_.failure(QStringLiteral("'%1': a folder, not an archive").arg(given));
                continue;
            }
            if (!CanOpenForReading(path)) {
                out_.failure(QStringLiteral("'%1': not a readable file").arg(given));
                continue;
            }
            const std::optional<ArchiveKind> kind = sniffArchive(path);
            if (!kind) {
                out_.failure(QStringLiteral("'%1': not an LZH or ZIP archive").arg(given));
                continue;
            }
            switch (o_.verb) {
            case Verb::List:
                list(given, path, *kind);
                break;
            case Verb::Test:
                test(given, path, *kind);
                break;
            case Verb::Extract:
                extract(given, path, *kind);
                break;
            }
            // Progress and cancel come through the modules' hook.
            modules_.setProgressHandler(nullptr);
        }
        progress_.clear();
    }

    int signalled() const { return signalled_; }
    int archivesDone() const { return archivesDone_; }
    int membersDone() const { return membersDone_; }

private:
    // Lists the members, or names the archive that cannot be listed: `given`,
    // or the member `inner` of it (an inner archive).
    bool members(const QString& given, const QString& path, ArchiveKind kind,
                 QList<ListedMember>& listed, const QString& inner = QString()) {
        const int code = listArchive(modules_, kind, path, listed);
        if (code != 0)
            out_.failure(QStringLiteral("'%1': %2%3")
                             .arg(given, inner.isEmpty() ? QString() : inner + QStringLiteral(": "),
                                  readingFailureText(code)));
        return code == 0;
    }

    static QList<ListedMember> filesOf(const QList<ListedMember>& listed) {
        QList<ListedMember> files;
        for (const ListedMember& m : listed)
            if (!isFolderMember(m) && !isLinkMember(m))
                files.append(m);
        return files;
    }

    // Progress of the module calls for archive `index_`: the bytes of its
    // members of all, and the member in progress. A signal cancels the call.
    void watch(quint64 bytesBefore, quint64 total) {
        modules_.setProgressHandler(
            [this, bytesBefore, total](const QString& member, quint64 done, quint64) {
                progress_.show(index_, int(o_.archives.size()), bytesBefore + done, total, member);
                QCoreApplication::processEvents();
                return signalled_ != 0;
            });
    }

    void list(const QString& given, const QString& path, ArchiveKind kind) {
        QList<ListedMember> listed;
        if (!members(given, path, kind, listed))
            return;
        if (o_.archives.size() > 1)
            out_.line(given + QLatin1Char(':'));
        for (const ListedMember& m : listed) {
            const QString when = m.mtime < 0 ? QStringLiteral("                ")
                                             : QDateTime::fromSecsSinceEpoch(m.mtime).toString(
                                                   QStringLiteral("yyyy-MM-dd HH:mm"));
            out_.line(QStringLiteral("%1  %2  %3").arg(m.size, 12).arg(when, m.path));
        }
        ++archivesDone_;
    }

    void test(const QString& given, const QString& path, ArchiveKind kind) {
        QList<ListedMember> listed;
        if (!members(given, path, kind, listed))
            return;
        const QList<ListedMember> files = filesOf(listed);
        quint64 total = 0;
        for (const ListedMember& m : files)
            total += m.size;
        watch(0, total);
        const int code = testMembers(modules_, kind, path);
        if (code == 0) {
            out_.line(QStringLiteral("%1: %2 members OK").arg(given).arg(files.size()));
            membersDone_ += int(files.size());
            ++archivesDone_;
            return;
        }
        if (code == ARC_ERR_CANCELLED)
            return;
        // The members that fail, each named: the members a call can name (a
        // name, valid UTF-8, once), tested by halves.
        QStringList paths;
        QSet<QString> seen;
        for (const ListedMember& m : files)
            if (!m.path.isEmpty() && !m.path.contains(QChar::ReplacementCharacter) &&
                !seen.contains(m.path)) {
                seen.insert(m.path);
                paths << m.path;
            }
        modules_.setProgressHandler(nullptr);
        const qsizetype half = paths.size() / 2;
        const int failed = nameFailures(given, path, kind, paths.first(half)) +
                           nameFailures(given, path, kind, paths.sliced(half));
        // A failure of the archive itself (a damaged header after the last
        // member read) names the archive.
        if (failed == 0)
            out_.failure(QStringLiteral("'%1': %2").arg(given, readingFailureText(code)));
    }

    // Tests the members `paths` of `path` together and, when they fail, each
    // half of them, down to every member that fails on its own, which is
    // named: a damaged archive of many members takes a few calls for each
    // member that fails, not one a member. Returns the count named.
    int nameFailures(const QString& given, const QString& path, ArchiveKind kind,
                     const QStringList& paths) {
        if (paths.isEmpty())
            return 0;
        const int code = testMembers(modules_, kind, path, paths);
        if (code == 0) {
            membersDone_ += int(paths.size());
            return 0;
        }
        if (paths.size() == 1) {
            out_.failure(
                QStringLiteral("'%1': %2: %3").arg(given, paths[0], readingFailureText(code)));
            return 1;
        }
        const qsizetype half = paths.size() / 2;
        return nameFailures(given, path, kind, paths.first(half)) +
               nameFailures(given, path, kind, paths.sliced(half));
    }

    // Extracts `archive` into `folder` (a staging folder), one file each
    // member; every member that did not arrive is named. With `inner`, each
    // extracted file that is itself an archive is extracted in its place.
    QList<Staged> stage(const QString& given, const QString& archive, ArchiveKind kind,
                        const QString& folder, const QString& prefix, bool inner) {
        QList<Staged> staged;
        QList<ListedMember> listed;
        QString innerPath = prefix; // an inner archive's path in `given`, without its "/"
        innerPath.chop(1);
        if (!members(given, archive, kind, listed, innerPath))
            return staged;
        const QList<ListedMember> files = filesOf(listed);
        for (const ListedMember& m : listed)
            if (isLinkMember(m))
                out_.failure(QStringLiteral("not extracted: '%1': %2 (a symbolic link)")
                                 .arg(given, prefix + m.path));
        quint64 total = 0;
        for (const ListedMember& m : files)
            total += m.size;
        auto missed = [&](const ListedMember& m, int code) {
            ++notArrived_;
            if (m.path.contains(QChar::ReplacementCharacter))
                out_.failure(QStringLiteral("not extracted: '%1': %2 (its name is not valid UTF-8)")
                                 .arg(given, prefix + m.path));
            else
                out_.failure(QStringLiteral("not extracted: '%1': %2 (%3)")
                                 .arg(given, prefix + m.path,
                                      readingFailureText(code == 0 ? ARC_ERR_NOT_FOUND : code)));
        };
        auto collect = [&](const QString& in, const ListedMember& m, int code) {
            const QString file = arrivedFile(in, m);
            if (file.isEmpty())
                missed(m, code);
            else
                staged.append({file, prefix + m.path});
        };
        if (!namesCollide(files)) {
            watch(0, total);
            const int code = extractMembers(modules_, kind, archive, folder);
            for (const ListedMember& m : files)
                collect(folder, m, code);
        } else {
            // Members whose files would land on one name go to different
            // calls, each into a folder of its own, so that none replaces
            // another: a member goes to the call after the last one that takes
            // a member of its name ("/" or "\" taken as the separator). A call
            // names its members by path and gives the first member of a path:
            // a member of no name, or of the path of an earlier one, cannot be
            // singled out and is passed over.
            constexpr int kOnePassedOver = 1; // a module's result for one member passed over
            struct Call {
                QStringList paths;
                quint64 bytes = 0;
                int code = ARC_ERR_CANCELLED;
            };
            QList<Call> calls;
            QList<int> callOf(files.size(), -1);
            QHash<QString, int> callsOfName; // a bare name -> the calls that take its members
            QSet<QString> asked;
            for (int i = 0; i < files.size(); ++i) {
                const ListedMember& m = files[i];
                if (m.path.isEmpty() || asked.contains(m.path))
                    continue;
                asked.insert(m.path);
                const QString slash = bareMemberName(m.path, false);
                const QString either = bareMemberName(m.path, true);
                const int call = std::max(callsOfName.value(slash), callsOfName.value(either));
                callsOfName[slash] = callsOfName[either] = call + 1;
                if (call == calls.size())
                    calls.append(Call());
                calls[call].paths << m.path;
                calls[call].bytes += m.size;
                callOf[i] = call;
            }
            quint64 before = 0;
            for (int k = 0; k < calls.size() && signalled_ == 0; ++k) {
                const QString own = folder + QStringLiteral("/%1").arg(k);
                QDir().mkdir(own);
                watch(before, total);
                calls[k].code = extractMembers(modules_, kind, archive, own, calls[k].paths);
                before += calls[k].bytes;
            }
            for (int i = 0; i < files.size(); ++i) {
                const int k = callOf[i];
                if (k < 0)
                    missed(files[i], kOnePassedOver);
                else
                    collect(folder + QStringLiteral("/%1").arg(k), files[i], calls[k].code);
            }
        }
        return inner ? expandInnerArchives(given, staged, folder) : staged;
    }

    // Each staged file that is itself an archive is extracted in its place;
    // the inner archive is kept only when nothing came out of it.
    QList<Staged> expandInnerArchives(const QString& given, const QList<Staged>& staged,
                                      const QString& folder) {
        QList<Staged> expanded;
        for (const Staged& s : staged) {
            const std::optional<ArchiveKind> innerKind = sniffArchive(s.path);
            const QString sub = innerKind ? makeStagingFolder(folder) : QString();
            if (sub.isEmpty()) {
                expanded.append(s);
                continue;
            }
            const int failuresBefore = out_.failures();
            const QList<Staged> innerFiles =
                stage(given, s.path, *innerKind, sub, s.member + QLatin1Char('/'), false);
            expanded += innerFiles;
            if (innerFiles.isEmpty() && out_.failures() > failuresBefore)
                expanded.append(s);
            else
                innerArchives_ << FileNameOf(s.path);
        }
        return expanded;
    }

    // The archive's name without its extension (two of them, "X.LZH.ZIP",
    // when an inner archive was extracted), the name of its folder.
    QString folderName(const QString& path) const {
        QString name = FileNameOf(path);
        auto cut = [&name] {
            const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
            if (dot > 0)
                name.truncate(dot);
        };
        cut();
        if (innerArchives_.contains(name))
            cut();
        return name;
    }

    void extract(const QString& given, const QString& path, ArchiveKind kind) {
        const QString out = o_.beside ? QFileInfo(path).absolutePath() : o_.out;
        removeStaleStagingFolders(out);
        const QString staging = makeStagingFolder(out);
        const int lock = staging.isEmpty() ? -1 : lockStagingFolder(staging);
        if (staging.isEmpty()) {
            out_.failure(QStringLiteral("'%1': no folder can be made in '%2'").arg(given, out));
            return;
        }
        innerArchives_.clear();
        notArrived_ = 0;
        const int failuresBefore = out_.failures();
        const QList<Staged> staged = stage(given, path, kind, staging, QString(), o_.inner);
        // An archive of more than one file, whether or not all of them
        // arrived: a folder of the archive's name (a new one: "X", else
        // "X (2)"…); of one file: the output folder itself.
        QString destination = out;
        if (staged.size() + notArrived_ > 1) {
            destination = makeFolderWithoutReplacing(out, folderName(path));
            if (destination.isEmpty()) {
                out_.failure(QStringLiteral("'%1': no folder '%2' can be made in '%3'")
                                 .arg(given, folderName(path), out));
                releaseStagingFolder(staging, lock);
                return;
            }
        }
        QHash<QString, int> numbers; // a file name -> the first "(N)" not given it yet
        for (const Staged& s : staged) {
            const QString name = FileNameOf(s.path);
            const QString placed = moveWithoutReplacing(s.path, destination, name, &numbers[name]);
            if (placed.isEmpty()) {
                out_.failure(QStringLiteral("not extracted: '%1': %2 (it cannot be moved into "
                                            "'%3')")
                                 .arg(given, s.member, destination));
                continue;
            }
            ++membersDone_;
            out_.line(QStringLiteral("%1 -> %2").arg(s.member, placed));
        }
        releaseStagingFolder(staging, lock);
        if (out_.failures() == failuresBefore)
            ++archivesDone_;
    }

    const ReadingOptions& o_;
    ModuleArchivers& modules_;
    ReadingOutput& out_;
    ProgressLine& progress_;
    int index_ = 0;
    int signalled_ = 0;
    int archivesDone_ = 0;
    int membersDone_ = 0;
    QSet<QString> innerArchives_; // inner archives extracted in place of themselves
    int notArrived_ = 0;          // files of the archive in hand that were not extracted
};

QString readingUsage() {
    return QStringLiteral(
        "Usage: dravonel2 --list ARCHIVE...\n"
        "       dravonel2 --test [--notify] ARCHIVE...\n"
        "       dravonel2 --extract [--out DIR | --beside] [--inner] [--notify] ARCHIVE...\n"
        "LZH and ZIP archives, known by their contents whatever their names.\n"
        "  --out DIR   where to extract (default: the current folder); an archive of\n"
        "              more than one file gets a new folder of its name there\n"
        "  --beside    each archive into its own folder\n"
        "  --inner     extract the archives found inside (double compression) in\n"
        "              their place\n"
        "  --notify    keep the log in ${XDG_STATE_HOME:-~/.local/state}/dravonel2/ and\n"
        "              end with a desktop notification\n"
        "  --uris      the archives are given as file URIs (file:///...)\n"
        "A file already there is never replaced: the new one gets \"NAME (2).EXT\".\n"
        "Exit status: 0 all done, 1 some archive or member not (each named on standard\n"
        "error), 2 bad arguments, a missing or unwritable --out, or missing modules.\n");
}

bool parse(const QStringList& args, ReadingOptions& o, QString& error) {
    const QString verb = args.value(0);
    o.verb = verb == QLatin1String("--list")   ? Verb::List
             : verb == QLatin1String("--test") ? Verb::Test
                                               : Verb::Extract;
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QString out = QStringLiteral("out");
    parser.addOption(QCommandLineOption(out, QString(), QStringLiteral("value")));
    for (const char* flag : {"beside", "inner", "notify", "uris"})
        parser.addOption(QCommandLineOption(QLatin1String(flag)));
    parser.addOption(QCommandLineOption(QStringList{QStringLiteral("h"), QStringLiteral("help")}));
    const bool parsed = parser.parse(QStringList{QStringLiteral("dravonel2")} + args.mid(1));
    o.notify = parser.isSet(QStringLiteral("notify"));
    o.help = parser.isSet(QStringLiteral("help"));
    if (o.help)
        return true;
    if (!parsed) {
        error = parser.errorText() +
                QStringLiteral(" (see --help; a file name that begins with '-' goes after --)");
        return false;
    }
    o.inner = parser.isSet(QStringLiteral("inner"));
    o.beside = parser.isSet(QStringLiteral("beside"));
    o.archives = parser.positionalArguments();
    if (parser.isSet(QStringLiteral("uris")) && !localFilesOf(o.archives, o.archives, error))
        return false;
    if (o.verb != Verb::Extract && (parser.isSet(out) || o.inner || o.beside)) {
        error = QStringLiteral("--out, --beside and --inner go with --extract");
        return false;
    }
    if (o.beside && parser.isSet(out)) {
        error = QStringLiteral("--beside and --out name two different output folders");
        return false;
    }
    if (o.archives.isEmpty()) {
        error = QStringLiteral("%1 needs at least one archive").arg(verb);
        return false;
    }
    if (o.verb == Verb::Extract && !o.beside) {
        const QString given = parser.isSet(out) ? parser.value(out) : QDir::currentPath();
        o.out = LongPath(AbsolutePath(given));
        if (const QString problem = OutputFolderProblem(o.out); !problem.isEmpty()) {
            error = QStringLiteral("output folder '%1' %2").arg(given, problem);
            return false;
        }
    }
    return true;
}

void notifyEnd(const ReadingOptions& o, int status, const Reader& reader,
               const ReadingOutput& out) {
    const bool testing = o.verb == Verb::Test;
    QString summary, body;
    if (status == kBatchAllDone) {
        summary = testing ? QStringLiteral("検査が終わりました：異常はありません")
                          : QStringLiteral("解凍が終わりました");
        body = testing ? QStringLiteral("%1 個の書庫、%2 個のファイルを検査しました。")
                             .arg(reader.archivesDone())
                             .arg(reader.membersDone())
                       : QStringLiteral("%1 個の書庫から %2 個のファイルを解凍しました。")
                             .arg(reader.archivesDone())
                             .arg(reader.membersDone());
    } else if (status == kBatchIncomplete) {
        summary = testing ? QStringLiteral("異常のある書庫があります")
                          : QStringLiteral("解凍できなかったファイルがあります");
        body = (testing ? QStringLiteral("%1 個のファイルは正常でした。")
                        : QStringLiteral("%1 個のファイルを解凍しました。"))
                   .arg(reader.membersDone()) +
               QStringLiteral("\n%1 件の失敗があります。").arg(out.failures());
    } else if (status == kBatchUsage) {
        summary = testing ? QStringLiteral("検査を実行できませんでした")
                          : QStringLiteral("解凍を実行できませんでした");
        body = out.lines().value(out.lines().size() - 1);
    } else {
        summary =
            testing ? QStringLiteral("検査を中断しました") : QStringLiteral("解凍を中断しました");
        body = QStringLiteral("%1 個のファイルまで済みました。").arg(reader.membersDone());
    }
    notifyDesktop(
        summary, body, status == kBatchAllDone,
        keepLog(testing ? QStringLiteral("test") : QStringLiteral("extract"), out.lines()));
}

} // namespace

bool isReadingCommand(const QString& word) {
    return word == QLatin1String("--list") || word == QLatin1String("--test") ||
           word == QLatin1String("--extract");
}

int runReading(const QStringList& arguments) {
    ReadingOptions o;
    QString error;
    const bool parsed = parse(arguments, o, error);
    if (o.help) {
        const QByteArray text = readingUsage().toUtf8();
        std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
        return kBatchAllDone;
    }
    ProgressLine progress(stderr);
    ReadingOutput out(progress, o.notify);
    ModuleArchivers modules;
    Reader reader(o, modules, out, progress);
    int status = kBatchUsage;
    if (!parsed) {
        out.error(error);
    } else {
        const LibraryState libraries = modules.CheckLibraries(SystemFolder());
        if (!libraries.LhaAvailable && !libraries.ZipAvailable) {
            out.error(
                QStringLiteral("the archiver modules are missing in '%1'").arg(SystemFolder()));
        } else {
            reader.run();
            status = reader.signalled() != 0 ? 128 + reader.signalled()
                     : out.failures() == 0   ? kBatchAllDone
                                             : kBatchIncomplete;
        }
    }
    if (o.notify && o.verb != Verb::List)
        notifyEnd(o, status, reader, out);
    return status;
}

} // namespace dravonel
