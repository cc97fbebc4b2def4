#include "basMkdir.h"

#include "dialog_host.h"
#include "host.h"
#include "messages.h"

#include <QDir>

namespace dravonel {

namespace {

const QChar kSeparator = QLatin1Char('/');

// Removes leading and trailing blanks (only blanks: a tab is part of the name).
QString trimBlanks(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == QLatin1Char(' '))
        ++begin;
    while (end > begin && text[end - 1] == QLatin1Char(' '))
        --end;
    return text.mid(begin, end - begin);
}

} // namespace

bool CheckFolderName(const QString& name, MessageHost& prompts) {
    int failure = 0;
    if (name.isEmpty()) {
        failure = 106;
    } else {
        const qsizetype separator = name.indexOf(kSeparator);
        if ((separator >= 0 && separator != name.size() - 1) || name.contains(QLatin1Char('\\')))
            failure = 101;
        else if (name.contains(QLatin1Char('*')))
            failure = 102;
        else if (name.contains(QLatin1Char('?')))
            failure = 103;
        else if (name.front() == QLatin1Char('.') || name.back() == QLatin1Char('.'))
            failure = 108;
    }
    if (failure == 0)
        return true;
    prompts.showMessage(resAll(failure));
    return false;
}

QString AskFolderName(const QString& parent, MessageHost& prompts) {
    const QString answer =
        prompts.inputBox(resAll(common_msg::FolderNamePrompt) + QLatin1Char('\r') + parent,
                         resAll(common_msg::FolderNameTitle), QString());
    if (answer.isEmpty())
        return QString();
    return CheckFolderName(answer, prompts) ? answer : QString();
}

QString MakeFolder(const QString& parent, MessageHost& prompts) {
    QString name = trimBlanks(AskFolderName(parent, prompts));
    if (name.isEmpty())
        return QString();
    const QString remembered = QDir::currentPath();
    if (name.endsWith(kSeparator))
        name.chop(1);
    const QString full = parent.endsWith(kSeparator) ? parent + name : parent + kSeparator + name;

    QString result;
    int failure = 0;
    if (parent.isEmpty() || !QDir().mkdir(full))
        failure = 104;
    else if (!QDir::setCurrent(full))
        failure = 105;
    else
        result = full;
    if (!QDir::setCurrent(remembered)) {
        failure = 105;
        result.clear();
    }
    if (failure != 0)
        prompts.showMessage(resAll(failure));
    return result;
}

void mnuMkdir_Click(DialogHost& host, MessageHost& prompts) {
    const QString path = MakeFolder(host.outputFolder(), prompts);
    if (path.isEmpty())
        return;
    host.setOutputFolder(path);
    host.refreshInputFolder();
}

} // namespace dravonel
