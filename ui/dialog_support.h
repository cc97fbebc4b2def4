// Pieces the dialogs share: the input and message boxes they ask through, the
// display font, and the stored position of a dialog.
#pragma once

#include <QString>

#include <initializer_list>

class QTranslator;
class QWidget;

namespace dravonel {

struct OptionSet;
class SettingsStore;

// The boxes a dialog or command shows to the user; tests answer them.
class Prompts {
public:
    virtual ~Prompts() = default;
    // An input box with a prompt, a title and a proposed answer; "" for Cancel.
    // A carriage return in the prompt starts a new line.
    virtual QString inputBox(QWidget* parent, const QString& prompt, const QString& title,
                             const QString& proposed) = 0;
    // A message box with an OK button, no icon and the program's title.
    virtual void message(QWidget* parent, const QString& text) = 0;
};

// The real boxes (QInputDialog, showMessage).
Prompts& standardPrompts();

// Loads Qt's Japanese translation (qtbase_ja from Qt's translation folder) into
// `translator` and installs it, so that Qt's standard buttons and dialogs are
// Japanese whatever the locale. False when the translation is not installed.
bool loadQtJapanese(QTranslator& translator);

// `SetFontData` for a dialog: face, size, bold and italic of the settings font,
// in that order, on each widget in the order given.
void applyFontData(const OptionSet& options, std::initializer_list<QWidget*> widgets);

// Check boxes, option buttons and labels placed by twips keep at least the
// height their font and indicator need: a shorter one grows about its centre,
// so a larger display font is not clipped. Run after every font change.
void fitLineHeights(QWidget* dialog);

// The screen's size in twips.
double screenWidthTwips();
double screenHeightTwips();

// The stored position of a dialog under "<prefix>_Left" and "<prefix>_Top"
// (twips), read by the legacy rule with 1000 as default. A coordinate below 0
// or beyond the screen becomes 1000. Returns false, leaving the dialog where it
// is, when a stored value is not a number.
bool loadPosition(QWidget* dialog, SettingsStore& store, const QString& prefix);
// Writes the dialog's position to the current store.
void savePosition(const QWidget* dialog, SettingsStore& store, const QString& prefix);

} // namespace dravonel
