// A settings store that lives in memory only: the headless batch run uses it
// so that it never reads or writes the user's stored settings.
#pragma once

#include "settings_store.h"

#include <QMap>

namespace dravonel {

class MemorySettingsStore : public SettingsStore {
public:
    QString read(const QString& application, const QString& section, const QString& key,
                 const QString& defaultValue) override {
        return values_.value(application).value(section).value(key, defaultValue);
    }
    void write(const QString& application, const QString& section, const QString& key,
               const QString& value) override {
        values_[application][section][key] = value;
    }
    void deleteSection(const QString& application, const QString& section) override {
        values_[application].remove(section);
    }
    void deleteApplication(const QString& application) override { values_.remove(application); }

private:
    QMap<QString, QMap<QString, QMap<QString, QString>>> values_;
};

} // namespace dravonel
