#include "ini_settings_store.h"

#include "system_folders.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStringList>

namespace dravonel {

IniSettingsStore::IniSettingsStore(const QString& folder)
    : folder_(folder.isEmpty() ? defaultFolder() : folder) {}

IniSettingsStore::~IniSettingsStore() {
    sync();
}

QString IniSettingsStore::defaultFolder() {
    return UserBaseFolder("XDG_CONFIG_HOME", QStringLiteral(".config"));
}

QString IniSettingsStore::fileFor(const QString& application) const {
    return folder_ + QLatin1Char('/') + application + QStringLiteral(".ini");
}

QSettings& IniSettingsStore::settingsFor(const QString& application) {
    auto it = open_.find(application);
    if (it == open_.end()) {
        auto settings = std::make_unique<QSettings>(fileFor(application), QSettings::IniFormat);
        it = open_.emplace(application, std::move(settings)).first;
    }
    return *it->second;
}

QString IniSettingsStore::read(const QString& application, const QString& section,
                               const QString& key, const QString& defaultValue) {
    // Reading must not create a file for an application that has none.
    if (open_.find(application) == open_.end() && !QFile::exists(fileFor(application)))
        return defaultValue;
    QSettings& settings = settingsFor(application);
    const QString path = section + QLatin1Char('/') + key;
    if (!settings.contains(path))
        return defaultValue;
    const QVariant value = settings.value(path);
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

void IniSettingsStore::write(const QString& application, const QString& section, const QString& key,
                             const QString& value) {
    QDir().mkpath(folder_);
    settingsFor(application).setValue(section + QLatin1Char('/') + key, value);
}

void IniSettingsStore::deleteSection(const QString& application, const QString& section) {
    if (open_.find(application) == open_.end() && !QFile::exists(fileFor(application)))
        return;
    QSettings& settings = settingsFor(application);
    settings.remove(section);
    settings.sync();
}

void IniSettingsStore::deleteApplication(const QString& application) {
    open_.erase(application);
    QFile::remove(fileFor(application));
}

void IniSettingsStore::sync() {
    for (auto& [name, settings] : open_)
        settings->sync();
}

} // namespace dravonel
