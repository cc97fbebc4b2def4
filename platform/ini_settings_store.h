// The settings store on Linux: INI files under the user's configuration folder.
#pragma once

#include "settings_store.h"

#include <QSet>
#include <QTemporaryDir>

#include <map>
#include <memory>

class QSettings;

namespace dravonel {

// One INI file per application: `${XDG_CONFIG_HOME:-$HOME/.config}/<application>.ini`,
// the section being the INI group. Values are UTF-8 text. Values the store wrote
// itself round-trip exactly; in a hand-written file a value that contains a comma
// or a semicolon must be written in double quotes (an unquoted comma-separated
// value is read back joined with ", ").
//
// The file may be shared with other programs: the store works on a private copy
// and puts back only the sections it wrote or removed, in place of their old
// text, so every other line of the file (other sections, comments, keys in
// another program's spelling) stays byte for byte as it was. A file name that
// holds something other than a regular file (a FIFO, a device, a folder) is
// left alone: its settings take their defaults and are not saved.
class IniSettingsStore : public SettingsStore {
public:
    // `folder` overrides the configuration folder (empty: the XDG rule above).
    explicit IniSettingsStore(const QString& folder = QString());
    ~IniSettingsStore() override;

    QString read(const QString& application, const QString& section, const QString& key,
                 const QString& defaultValue) override;
    void write(const QString& application, const QString& section, const QString& key,
               const QString& value) override;
    void deleteSection(const QString& application, const QString& section) override;
    void deleteApplication(const QString& application) override;

    // Writes pending changes to disk (also done when the store is destroyed).
    void sync();
    // The file that holds an application's settings.
    QString fileFor(const QString& application) const;
    static QString defaultFolder();

private:
    // One application's settings: read and written through QSettings on the
    // private copy (on the file itself when no copy can be made), with the
    // sections changed since they were last put back.
    struct OpenFile {
        std::unique_ptr<QSettings> settings;
        bool onCopy = false;
        QSet<QString> changed;
    };
    OpenFile& openFor(const QString& application);
    // Replaces the changed sections in the file with the copy's text of them.
    void putBack(const QString& application, OpenFile& open);

    QString folder_;
    std::unique_ptr<QTemporaryDir> copies_;
    std::map<QString, OpenFile> open_;
};

} // namespace dravonel
