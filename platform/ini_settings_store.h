// The settings store on Linux: INI files under the user's configuration folder.
#pragma once

#include "settings_store.h"

#include <map>
#include <memory>

class QSettings;

namespace dravonel {

// One INI file per application: `${XDG_CONFIG_HOME:-$HOME/.config}/<application>.ini`,
// the section being the INI group. Values are UTF-8 text. Values the store wrote
// itself round-trip exactly; in a hand-written file a value that contains a comma
// or a semicolon must be written in double quotes (an unquoted comma-separated
// value is read back joined with ", ").
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
    QSettings& settingsFor(const QString& application);

    QString folder_;
    std::map<QString, std::unique_ptr<QSettings>> open_;
};

} // namespace dravonel
