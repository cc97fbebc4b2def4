#include "mdiInFile.h"

#include "dialog_support.h"
#include "host.h"
#include "messages.h"
#include "options.h"
#include "pane_icons.h"
#include "paths.h"
#include "program.h"
#include "session.h"
#include "twips.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QToolButton>

#include <cmath>

namespace dravonel {

namespace {

QStringList patternsOf(const QString& filter) {
    QStringList patterns;
    for (const QString& part : filter.split(QLatin1Char(';'))) {
        const QString p = part.trimmed();
        if (!p.isEmpty())
            patterns << p;
    }
    return patterns;
}

// The text as case-folded code points, so that "?" takes one character and
// letters match in either case.
QList<uint> foldedCodePoints(const QString& text) {
    QList<uint> points = text.toUcs4();
    for (uint& c : points)
        c = QChar::toCaseFolded(c);
    return points;
}

// Whether `name` matches the wildcard `pattern` ("*" any run, "?" one
// character), both folded. The greedy walk that goes back only to the last
// "*" takes at most pattern length × name length steps, where trying every
// way of placing the stars could take longer than the user would wait.
bool wildcardMatch(const QList<uint>& pattern, const QList<uint>& name) {
    qsizetype p = 0, n = 0;
    qsizetype star = -1, resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == uint('*')) {
            star = p++;
            resume = n;
        } else if (p < pattern.size() && (pattern[p] == uint('?') || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (star >= 0) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == uint('*'))
        ++p;
    return p == pattern.size();
}

// Whether `name` matches one of the filter's patterns; "name.*" also takes
// "name" without an extension, as "*.*" takes every file.
bool filterMatches(const QStringList& patterns, const QString& name) {
    const QList<uint> folded = foldedCodePoints(name);
    for (const QString& p : patterns) {
        if (wildcardMatch(foldedCodePoints(p), folded))
            return true;
        if (p.endsWith(QLatin1String(".*")) &&
            wildcardMatch(foldedCodePoints(p.chopped(2)), folded))
            return true;
    }
    return false;
}

// The wait cursor for the length of an add, restored also on an early return.
struct WaitCursor {
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

QString withSeparator(const QString& folder) {
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

} // namespace

bool filterValid(const QString& filter) {
    if (filter.contains(QLatin1Char('/')))
        return false;
    for (const QChar c : filter) {
        if (c.category() == QChar::Other_Control)
            return false;
    }
    return !patternsOf(filter).isEmpty();
}

QStringList listFiles(const QString& folder, const QString& filter, bool hidden) {
    if (!filterValid(filter))
        return {};
    QDir::Filters kinds = QDir::Files;
    if (hidden)
        kinds |= QDir::Hidden;
    const QStringList patterns = patternsOf(filter);
    const QDir dir(folder);
    QStringList names;
    for (const QString& name : dir.entryList(kinds, QDir::Name)) {
        // The listing passes a link to a named pipe or a device for a file:
        // only what is a regular file, links followed, is one to compress.
        if (filterMatches(patterns, name) && QFileInfo(dir.filePath(name)).isFile())
            names << name;
    }
    return names;
}

mdiInFile::mdiInFile(Session& session, Program& program, MessageHost& prompts, QWidget* parent)
    : Pane(session, program, prompts, QStringLiteral("InFile_"), parent),
      filFile(new QListWidget(this)), btnAdd(new QToolButton(this)),
      btnAddAll(new QToolButton(this)), btnAddAllAll(new QToolButton(this)),
      folder_(QDir::currentPath()) {
    setObjectName(QStringLiteral("mdiInFile"));
    filFile->setObjectName(QStringLiteral("filFile"));
    filFile->setSelectionMode(QAbstractItemView::ExtendedSelection);
    filFile->setContextMenuPolicy(Qt::NoContextMenu);
    filFile->installEventFilter(this);
    const struct {
        QToolButton* button;
        const char* name;
        QIcon icon;
    } buttons[] = {{btnAdd, "btnAdd", addIcon()},
                   {btnAddAll, "btnAddAll", addAllIcon()},
                   {btnAddAllAll, "btnAddAllAll", addAllSubfoldersIcon()}};
    for (const auto& b : buttons) {
        b.button->setObjectName(QLatin1String(b.name));
        b.button->setIcon(b.icon);
        b.button->setIconSize(QSize(32, 32));
        b.button->setFixedSize(toPixels(600), toPixels(600));
    }
    connect(btnAdd, &QToolButton::clicked, this, [this] { btnAdd_Click(); });
    connect(btnAddAll, &QToolButton::clicked, this, [this] { btnAddAll_Click(); });
    connect(btnAddAllAll, &QToolButton::clicked, this, [this] { btnAddAllAll_Click(); });

    addToolTip(filFile, msg::TipInFileChoose);
    addToolTip(btnAdd, msg::TipInFileAddSelected);
    addToolTip(btnAddAll, msg::TipInFileAddAll);
    addToolTip(btnAddAllAll, msg::TipInFileAddAllWithSubfolders);
    // btnAddAllAll keeps its own font.
    addFontTarget(filFile);
    addFontTarget(btnAdd);
    addFontTarget(btnAddAll);
    addPopupTarget(filFile->viewport());

    mnuFilter = mnuPopup->addAction(QString(), this, [this] { mnuFilter_Click(); });
    mnuRefresh = mnuPopup->addAction(QString(), this, [this] { RefreshForm(); });
    mnuAll = mnuPopup->addAction(QString(), this, [this] { SelectAll(); });
    mnuClear = mnuPopup->addAction(QString(), this, [this] { SelectClear(); });
    mnuFilter->setObjectName(QStringLiteral("mnuFilter"));
    mnuRefresh->setObjectName(QStringLiteral("mnuRefresh"));
    mnuAll->setObjectName(QStringLiteral("mnuAll"));
    mnuClear->setObjectName(QStringLiteral("mnuClear"));
    connect(&session_, &Session::folderListed, this,
            [this](Session::Folder which, const QString& path) {
                if (which == Session::Folder::In)
                    setDirName(path);
            });
}

QString mdiInFile::DirName() const {
    return LongPath(folder_);
}

void mdiInFile::setDirName(const QString& folder) {
    const QString longForm = LongPath(AbsolutePath(folder));
    const QFileInfo info(longForm);
    folder_ =
        !longForm.isEmpty() && info.isDir() && info.isReadable() ? longForm : QDir::currentPath();
    RefreshForm();
}

bool mdiInFile::fill() {
    filFile->clear();
    if (!filterValid(program_.options.Filter))
        return false;
    filFile->addItems(listFiles(folder_, program_.options.Filter, hidden_));
    return true;
}

void mdiInFile::RefreshForm() {
    fill();
    SelectClear();
}

void mdiInFile::SelectAll() {
    filFile->selectAll();
}

void mdiInFile::SelectClear() {
    filFile->clearSelection();
}

void mdiInFile::Pattern_Make() {
    hidden_ = program_.options.Hiddn;
    fill();
}

void mdiInFile::setFilter(const QString& filter) {
    program_.options.Filter = filter;
    mnuFilter->setText(resDravonel(msg::FilterCommand) + QLatin1Char('(') + filter +
                       QLatin1Char(')'));
}

void mdiInFile::Form_Load() {
    loadGeometry();
    SetFontData();
    setWindowTitle(resDravonel(msg::InFileTitle));
    mnuRefresh->setText(resAll(common_msg::Refresh));
    mnuAll->setText(resAll(common_msg::SelectAll));
    mnuClear->setText(resAll(common_msg::ClearSelection));
    setFilter(program_.options.Filter);
    SetToolTip(program_.options.Tip);
    Pattern_Make();
}

void mdiInFile::addListed(bool selectedOnly) {
    const WaitCursor wait;
    TargetList& targets = session_.targets();
    const QString folder = withSeparator(folder_);
    const int count = filFile->count();
    for (int i = 0; i < count; ++i) {
        QListWidgetItem* item = filFile->item(i);
        if (selectedOnly && !item->isSelected())
            continue;
        const QString path = LongPath(folder + item->text());
        if (!path.isEmpty() && !targets.ListInAdd(path))
            break;
        item->setSelected(false);
    }
    session_.noteTargetsEdited();
}

void mdiInFile::btnAdd_Click() {
    addListed(true);
}

void mdiInFile::btnAddAll_Click() {
    addListed(false);
}

void mdiInFile::btnAddAllAll_Click() {
    const WaitCursor wait;
    TargetList& targets = session_.targets();
    QStringList folders{folder_};
    const QDir top(folder_);
    for (const QString& sub : top.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name))
        folders << top.filePath(sub);
    // The walk never lists dot-files, whatever the hidden-file option says.
    bool full = false;
    for (const QString& folder : folders) {
        const QString prefix = withSeparator(folder);
        for (const QString& name : listFiles(folder, program_.options.Filter, false)) {
            const QString path = LongPath(prefix + name);
            if (path.isEmpty())
                continue;
            if (!targets.ListInAdd(path)) {
                full = true;
                break;
            }
        }
        if (full)
            break;
    }
    SelectClear();
    session_.noteTargetsEdited();
}

void mdiInFile::mnuFilter_Click() {
    const QString answer =
        prompts_->inputBox(resDravonel(msg::FilterPrompt) + QChar(13) + program_.options.Filter,
                           resDravonel(msg::FilterTitle), QString());
    if (answer.isEmpty())
        return;
    setFilter(answer);
    if (!fill()) {
        prompts_->showMessage(resDravonel(msg::FilterInvalid));
        setFilter(QStringLiteral("*.*"));
        fill();
    }
}

bool mdiInFile::eventFilter(QObject* watched, QEvent* event) {
    if (watched == filFile && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            emit walkOn();
            return true;
        }
    }
    return Pane::eventFilter(watched, event);
}

QSize mdiInFile::minimumContentSize() const {
    // The list, then the three buttons below it (margins as in Form_Resize).
    return {btnAdd->width() + btnAddAll->width() + btnAddAllAll->width() + toPixels(300),
            minimumListHeight() + btnAdd->height() + toPixels(180)};
}

void mdiInFile::Form_Resize() {
    const double w = std::round(toTwips(width()) - 120);
    const double h = std::round(toTwips(height()) - toTwips(btnAdd->height()) - 180);
    if (w <= 0)
        return;
    const int listHeight = h >= 1 ? toPixels(h) : filFile->height();
    filFile->setGeometry(toPixels(60), toPixels(60), toPixels(w), listHeight);
    const int top = toPixels(h + 120);
    btnAdd->move(toPixels(60), top);
    btnAddAll->move(btnAdd->width() + toPixels(120), top);
    btnAddAllAll->move(btnAddAll->x() + btnAddAll->width() + toPixels(60), top);
}

} // namespace dravonel
