// Loading and saving the option set, and the rule by which settings of an
// earlier release are taken over once.
//
// Every value is text: integers as decimal text, Booleans as "True"/"False",
// window geometry as decimal twips. Writes go to the application "Korvath's
// Soft", section "Dravonel2". An earlier release wrote to the application
// "Dravonel2"; its values are read instead while they exist and are removed at
// exit.
#pragma once

#include "options.h"

#include <QString>

#include <optional>

namespace dravonel {

class SettingsStore;

inline const QString kStoreApplication = QStringLiteral("Korvath's Soft");
inline const QString kLegacyApplication = QStringLiteral("Dravonel2");
inline const QString kStoreSection = QStringLiteral("Dravonel2");
inline const QString kReleaseVersion = QStringLiteral("1.02");
// The largest window position or size read back, in twips (about 7 m).
constexpr float kTwipsLimit = 1e7f;

// Conversions of stored texts. Each returns false and leaves `value` as it was
// when the text does not convert.
// Booleans: "True"/"False" in any letter case, or a decimal integer (0 is
// False, any other number True), surrounding blanks ignored.
bool convertBool(const QString& text, bool& value);
// 16-bit signed integers in decimal.
bool convertInt16(const QString& text, qint16& value);
// Single-precision numbers in decimal (geometry in twips).
bool convertSingle(const QString& text, float& value);

QString boolText(bool value);
// Decimal text of a single-precision number without exponent or trailing zeros.
QString singleText(float value);

// Fills the option set from the store: the legacy store when its "Version" is
// anything but "0.00", else the current one; "AshukuExe" always from the
// current store; `tempFolder` is the default of "TmpDir". A text that does not
// convert (empty, a word, "nan", beyond 16 bits) gives the key's default.
void LoadSettings(SettingsStore& store, OptionSet& options, const QString& tempFolder);

// Writes "Version" = "1.02" and every option to the current store, then deletes
// the whole legacy application.
void SaveSettings(SettingsStore& store, const OptionSet& options);

// The keys of one window (geometry, folders): read from the legacy store when
// that holds the window's own "<prefix>_Left" (any value other than -9999),
// else from the current store; always written to the current store. The
// choice is made once, when the object is created.
class WindowSettings {
public:
    WindowSettings(SettingsStore& store, const QString& prefix);

    bool readsLegacy() const { return legacy_; }
    // Reads "<key>" (a whole key name, e.g. "Main_WindowState" or "Dir_In").
    QString read(const QString& key, const QString& defaultValue) const;
    // True when the store holds the key (whatever its value).
    bool contains(const QString& key) const;
    // Reads a value; a key that is absent, or whose text does not convert,
    // gives `defaultValue`, so a spoilt value never stops a window. Numbers in
    // twips beyond ±kTwipsLimit (no screen is that large) count as spoilt.
    float readSingle(const QString& key, float defaultValue) const;
    // The stored number in twips, or nothing when it is absent or spoilt.
    std::optional<float> storedSingle(const QString& key) const;
    qint16 readInt16(const QString& key, qint16 defaultValue) const;
    bool readBool(const QString& key, bool defaultValue) const;

    void write(const QString& key, const QString& value) const;
    void writeSingle(const QString& key, float value) const;

private:
    SettingsStore& store_;
    bool legacy_ = false;
};

} // namespace dravonel
