// Pieces the dialogs share: the display font, the rows laid out for it, the
// stored position of a dialog, and Qt's Japanese translation.
#pragma once

#include <QSize>
#include <QString>

#include <initializer_list>

class QTranslator;
class QWidget;

namespace dravonel {

struct OptionSet;
class SettingsStore;

// Loads Qt's Japanese translation (qtbase_ja from Qt's translation folder) into
// `translator` and installs it, so that Qt's standard buttons and dialogs are
// Japanese whatever the locale. False when the translation is not installed.
bool loadQtJapanese(QTranslator& translator);

// `SetFontData` for a dialog: face, size, bold and italic of the settings font,
// in that order, on each widget in the order given.
void applyFontData(const OptionSet& options, std::initializer_list<QWidget*> widgets);

// Lays out a dialog placed by twips for its current font and texts, from the
// places it was designed with (taken at the first call): every row (the
// controls that share a top) becomes as tall as its tallest member needs,
// growing about its centre into the gap above, and what the gap cannot take
// moves the row and every later one down; in a row, a label or button becomes
// as wide as its text and pushes the ones to its right. Panels lay out their
// own rows the same way. The dialog grows by as much (its size is fixed). Run
// after every font or caption change.
void fitRows(QWidget* dialog);

// The screen's size in twips.
double screenWidthTwips();
double screenHeightTwips();

// The stored position of a dialog under "<prefix>_Left" and "<prefix>_Top"
// (twips), read by the legacy rule with 1000 as default. A coordinate below 0
// or beyond the screen, or a stored text that is not a usable number, becomes
// 1000. With neither stored, the dialog opens centred over its window.
void loadPosition(QWidget* dialog, SettingsStore& store, const QString& prefix);
// Writes the dialog's position to the current store, once it has one (it was
// placed from the store or shown).
void savePosition(const QWidget* dialog, SettingsStore& store, const QString& prefix);

} // namespace dravonel
