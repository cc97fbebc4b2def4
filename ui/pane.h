// What the six child panes of the main window share: the session they show,
// the boxes they ask through, the geometry keys with the legacy rule, the
// tool-tip switch, the settings font and the right-button pop-up rule.
#pragma once

#include <QList>
#include <QPair>
#include <QWidget>

class QMenu;
class QMdiSubWindow;

namespace dravonel {

class MessageHost;
class Session;
struct Program;

class Pane : public QWidget {
    Q_OBJECT
public:
    // `stem` is the geometry key stem ("InDir_"); `prompts` shows the pane's
    // message and input boxes.
    Pane(Session& session, Program& program, MessageHost& prompts, const QString& stem,
         QWidget* parent = nullptr);

    // Reads the pane's settings, sets its font, captions and tool-tips.
    virtual void Form_Load() = 0;
    // Writes the pane's settings when the main window closes (the geometry,
    // under the rule of saveGeometry).
    virtual void Form_QueryUnload() { saveGeometry(); }
    // Tool-tips of the pane's controls from the message tables, or none.
    virtual void SetToolTip(bool blnToolTip);
    // The settings font on the pane and its font controls, then the layout.
    virtual void SetFontData();
    // The pane's layout, run on every resize and after a font change.
    virtual void Form_Resize() {}
    // The smallest size of the pane (its frame aside) at which Form_Resize
    // shows every control of it without overlap, its list three lines high.
    virtual QSize minimumContentSize() const;

    // Reads the stored position and size, unless the panes follow the main
    // window. A value that is not stored at all, or
    // whose text is not a usable number, is taken from the pane's layout cell
    // (see placeInCell).
    void loadGeometry();
    // Places the pane in `cell` (pixels of the MDI area): the whole cell when
    // the panes follow the main window, else only the values not stored (so a
    // pane without a stored geometry of its own follows its cell until the
    // user moves or resizes it).
    void placeInCell(const QRect& cell);
    // Writes the position and size when the main window is in its normal state
    // and the panes keep their own geometry.
    void saveGeometry();
    // From now on a move or resize of the frame that the main window did not
    // make is the user's: a pane without a stored geometry then keeps its own
    // (the main window calls it once the panes are shown).
    void trackUserPlacement() { tracking_ = true; }

    // The control that takes the keyboard focus when Enter walks into the pane.
    virtual QWidget* focusControl() const { return nullptr; }
    // The input and message boxes (tests answer them).
    void setPrompts(MessageHost& prompts) { prompts_ = &prompts; }

    // The geometry key stem ("InDir_"); without its underscore it is the
    // window's prefix for the legacy rule.
    const QString& stem() const { return stem_; }
    // The MDI window that frames the pane (null until the main window adds it).
    QMdiSubWindow* frame() const;

signals:
    // Enter in the pane's list walks on to the next pane.
    void walkOn();

protected:
    // The height of a list that shows three lines.
    int minimumListHeight() const;
    // Registers a control for SetToolTip with its message number.
    void addToolTip(QWidget* control, int messageId);
    // Registers a control that takes the settings font.
    void addFontTarget(QWidget* control);
    // A right-button press on the control (or the pane background) opens the pop-up.
    void addPopupTarget(QWidget* control);

    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

    Session& session_;
    Program& program_;
    MessageHost* prompts_;
    QMenu* mnuPopup;

private:
    QString stem_;
    // Bits 0..3: Left, Top, Width, Height have no stored value.
    int unstored_ = 0;
    // Set while the main window places the frame, so the move is not the user's.
    bool placing_ = false;
    bool tracking_ = false;
    QList<QPair<QWidget*, int>> toolTips_;
    QList<QWidget*> fontTargets_;
};

// The font the settings describe (face, whole points, bold, italic).
QFont settingsFont(const Program& program);

} // namespace dravonel
