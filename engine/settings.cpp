#include "settings.h"

#include "settings_store.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace dravonel {

namespace {

// One option key with its default and its field, read and written in table order.
struct OptionIo {
    SettingsStore& store;
    const QString& application;

    QString text(const QString& key, const QString& def) const {
        return store.read(application, kStoreSection, key, def);
    }
    void readText(const QString& key, const QString& def, QString& field) const {
        field = text(key, def);
    }
    // A stored text that does not convert gives the default: a value spoilt by
    // hand or by another program never takes a setting out of its range.
    void readBool(const QString& key, bool def, bool& field) const {
        field = def;
        convertBool(text(key, boolText(def)), field);
    }
    void readInt(const QString& key, qint16 def, qint16& field) const {
        field = def;
        convertInt16(text(key, QString::number(def)), field);
    }
    // One of `count` choices (0 by default): a number outside them is the
    // first, as the options dialog shows and would store it, so that a run
    // does what the dialog says.
    void readChoice(const QString& key, qint16 count, qint16& field) const {
        readInt(key, 0, field);
        if (field < 0 || field >= count)
            field = 0;
    }
};

} // namespace

bool convertBool(const QString& text, bool& value) {
    const QString t = text.trimmed();
    if (t.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) {
        value = true;
        return true;
    }
    if (t.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) {
        value = false;
        return true;
    }
    bool ok = false;
    const double number = t.toDouble(&ok);
    if (!ok || !std::isfinite(number))
        return false;
    value = number != 0.0;
    return true;
}

bool convertInt16(const QString& text, qint16& value) {
    bool ok = false;
    const int number = text.trimmed().toInt(&ok, 10);
    if (!ok || number < std::numeric_limits<qint16>::min() ||
        number > std::numeric_limits<qint16>::max())
        return false;
    value = static_cast<qint16>(number);
    return true;
}

bool convertSingle(const QString& text, float& value) {
    bool ok = false;
    const double number = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(number) || std::fabs(number) > std::numeric_limits<float>::max())
        return false;
    value = static_cast<float>(number);
    return true;
}

QString boolText(bool value) {
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

QString singleText(float value) {
    if (value == std::floor(value) && std::fabs(value) < 1e9f)
        return QString::number(static_cast<qint64>(value));
    QString text = QString::number(static_cast<double>(value), 'f', 6);
    while (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text;
}

void LoadSettings(SettingsStore& store, OptionSet& o, const QString& tempFolder) {
    const QString version = store.read(kLegacyApplication, kStoreSection, QStringLiteral("Version"),
                                       QStringLiteral("0.00"));
    const QString& application =
        version != QLatin1String("0.00") ? kLegacyApplication : kStoreApplication;
    const OptionIo in{store, application};
    const OptionIo current{store, kStoreApplication};

    in.readText(QStringLiteral("Lzh_Opt"), QStringLiteral("u -+ -a1"), o.Lzh_Opt);
    o.ZipOpt = QStringLiteral("-j -S");
    in.readChoice(QStringLiteral("Ashuku"), 3, o.Ashuku);
    in.readBool(QStringLiteral("Hiddn"), false, o.Hiddn);
    in.readText(QStringLiteral("TmpDir"), tempFolder, o.TmpDir);
    in.readBool(QStringLiteral("UCase"), true, o.UCase);
    in.readBool(QStringLiteral("Double"), false, o.Double);
    in.readBool(QStringLiteral("Auto"), false, o.Auto);
    in.readChoice(QStringLiteral("AutoExe"), 4, o.AutoExe);
    in.readBool(QStringLiteral("AutoLog"), true, o.AutoLog);
    in.readBool(QStringLiteral("Resize"), true, o.Resize);
    in.readBool(QStringLiteral("Tip"), true, o.Tip);
    in.readChoice(QStringLiteral("Pattern"), 4, o.Pattern);
    current.readChoice(QStringLiteral("AshukuExe"), 2, o.AshukuExe);
    in.readText(QStringLiteral("Filter"), QStringLiteral("*.*"), o.Filter);
    in.readText(QStringLiteral("Font_Name"), QStringLiteral("ＭＳ 明朝"), o.Font_Name);
    in.readInt(QStringLiteral("Font_Size"), 10, o.Font_Size);
    // The windows are laid out for fonts up to the largest the font dialog
    // gives; a larger stored size would make them larger than any screen.
    o.Font_Size = std::min(o.Font_Size, kLargestFontSize);
    in.readBool(QStringLiteral("Font_Bold"), false, o.Font_Bold);
    in.readBool(QStringLiteral("Font_Italic"), false, o.Font_Italic);
    current.readBool(QStringLiteral("ZipUtf8Names"), false, o.ZipUtf8Names);
}

void SaveSettings(SettingsStore& store, const OptionSet& o) {
    auto put = [&store](const QString& key, const QString& value) {
        store.write(kStoreApplication, kStoreSection, key, value);
    };
    auto num = [](qint16 v) { return QString::number(v); };
    put(QStringLiteral("Version"), kReleaseVersion);
    put(QStringLiteral("Lzh_Opt"), o.Lzh_Opt);
    put(QStringLiteral("Ashuku"), num(o.Ashuku));
    put(QStringLiteral("Hiddn"), boolText(o.Hiddn));
    put(QStringLiteral("TmpDir"), o.TmpDir);
    put(QStringLiteral("UCase"), boolText(o.UCase));
    put(QStringLiteral("Double"), boolText(o.Double));
    put(QStringLiteral("Auto"), boolText(o.Auto));
    put(QStringLiteral("AutoExe"), num(o.AutoExe));
    put(QStringLiteral("AutoLog"), boolText(o.AutoLog));
    put(QStringLiteral("Resize"), boolText(o.Resize));
    put(QStringLiteral("Tip"), boolText(o.Tip));
    put(QStringLiteral("Pattern"), num(o.Pattern));
    put(QStringLiteral("AshukuExe"), num(o.AshukuExe));
    put(QStringLiteral("Filter"), o.Filter);
    put(QStringLiteral("Font_Name"), o.Font_Name);
    put(QStringLiteral("Font_Size"), num(o.Font_Size));
    put(QStringLiteral("Font_Bold"), boolText(o.Font_Bold));
    put(QStringLiteral("Font_Italic"), boolText(o.Font_Italic));
    put(QStringLiteral("ZipUtf8Names"), boolText(o.ZipUtf8Names));
    store.deleteApplication(kLegacyApplication);
}

WindowSettings::WindowSettings(SettingsStore& store, const QString& prefix) : store_(store) {
    float left = -9999.0f;
    convertSingle(store.read(kLegacyApplication, kStoreSection, prefix + QStringLiteral("_Left"),
                             QStringLiteral("-9999")),
                  left);
    legacy_ = left != -9999.0f;
}

QString WindowSettings::read(const QString& key, const QString& defaultValue) const {
    return store_.read(legacy_ ? kLegacyApplication : kStoreApplication, kStoreSection, key,
                       defaultValue);
}

float WindowSettings::readSingle(const QString& key, float defaultValue) const {
    return storedSingle(key).value_or(defaultValue);
}

std::optional<float> WindowSettings::storedSingle(const QString& key) const {
    if (!contains(key))
        return std::nullopt;
    float value = 0;
    if (!convertSingle(read(key, QString()), value) || std::fabs(value) > kTwipsLimit)
        return std::nullopt;
    return value;
}

qint16 WindowSettings::readInt16(const QString& key, qint16 defaultValue) const {
    qint16 value = defaultValue;
    return convertInt16(read(key, QString::number(defaultValue)), value) ? value : defaultValue;
}

bool WindowSettings::contains(const QString& key) const {
    // A missing key gives back whichever default is asked for; a stored one
    // cannot equal two different defaults.
    const QString a = QStringLiteral("-"), b = QStringLiteral("+");
    return read(key, a) != a || read(key, b) != b;
}

bool WindowSettings::readBool(const QString& key, bool defaultValue) const {
    bool value = defaultValue;
    return convertBool(read(key, boolText(defaultValue)), value) ? value : defaultValue;
}

void WindowSettings::write(const QString& key, const QString& value) const {
    store_.write(kStoreApplication, kStoreSection, key, value);
}

void WindowSettings::writeSingle(const QString& key, float value) const {
    write(key, singleText(value));
}

} // namespace dravonel
