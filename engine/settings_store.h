// The per-user settings store: text values addressed by application, section
// and key, with the four operations the program needs.
#pragma once

#include <QString>
#include <QtGlobal>

namespace dravonel {

class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // The stored text, or `defaultValue` when the key does not exist.
    virtual QString read(const QString& application, const QString& section, const QString& key,
                         const QString& defaultValue) = 0;
    // Creates or replaces a value.
    virtual void write(const QString& application, const QString& section, const QString& key,
                       const QString& value) = 0;
    // Removes a section with all its keys.
    virtual void deleteSection(const QString& application, const QString& section) = 0;
    // Removes an application with all its sections.
    virtual void deleteApplication(const QString& application) = 0;
};

} // namespace dravonel
