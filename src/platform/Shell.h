#pragma once
// What the main window offers the panels and engines it hosts: the status line and its clear
// timer, the gauge, sounds, sliding edit panels and the dialog service. Panels depend on
// this interface, not on the main window, so they can be tested with a stand-in shell.
#include <QString>

class QAction;
class QLineEdit;
class QMenu;
class QTextEdit;
class QWidget;
class TDialogService;

class TShell
{
public:
    virtual ~TShell() = default;

    virtual TDialogService& Dialogs() = 0;
    // The window that owns the panels; parent of dialogs.
    virtual QWidget* Window() = 0;

    // Status line: texts begin "Status:". `paintNow` repaints the label at once, for a
    // text shown before long work.
    virtual void SetStatus(const QString& text, bool paintNow = false) = 0;
    virtual QString Status() const = 0;
    virtual void StopStatusTimer() = 0;
    virtual void StartStatusTimer() = 0;

    // Plays the sound when the Sounds menu item is checked.
    virtual void PlaySound(const QString& fileName) = 0;

    // The progress gauge of the status line (hidden by default, minimum 1).
    virtual void ShowGauge(qint64 maximum) = 0;
    virtual void SetGaugeProgress(qint64 progress) = 0;
    virtual void HideGauge() = 0;

    // Sliding edit panels at the top right: open brings the panel to front at the right edge,
    // plays "tamo105.cls" when asked, sets its height and focuses `focus`; both disable or
    // re-enable the list and address buttons. Close hides it (height 0).
    virtual void OpenSlidingPanel(QWidget* panel, int width, int height, QWidget* focus,
                                  bool playSound = true) = 0;
    virtual void CloseSlidingPanel(QWidget* panel, int width) = 0;
    // True while a sliding edit panel (list properties, general properties, address entry) is
    // open. Every enable rule consults it: the lists such a panel edits must not change under
    // it, and no second edit panel may open over it. The send panel does not count.
    virtual bool EditPanelOpen() const = 0;

    // Lets pending events run during long work, at most once per time slice.
    virtual void ProcessMessages() = 0;

    // A menu item by its component name ("SaveFile1", "Find1"; the names are listed in
    // platform/ComponentNames.h). Never null; any other name is a programming error that fails
    // loudly (a debug assertion and a critical message; the test shell aborts).
    virtual QAction* Action(const QString& name) = 0;

    // Which rich-text pane the editor commands act on: "Letter", "Message" or "Digest".
    virtual QString ActiveEditor() const = 0;
    virtual void SetActiveEditor(const QString& name) = 0;
    // The pane of that name (LetterRE, MessageRE, DigestRE); null when it does not exist yet.
    virtual QTextEdit* EditorPane(const QString& name) = 0;
    QTextEdit* Letter() { return EditorPane(QStringLiteral("Letter")); }
    // The newsletter's subject field (SubjectEDT); null when it does not exist yet.
    virtual QLineEdit* Subject() = 0;
    // A rich-text pane took the focus: it becomes the active editor, Find is enabled, and
    // Replace and Replace All only for the letter (the message and digest panes are read-only).
    virtual void FocusEditor(const QString& name) = 0;
    // The pop-up menu the editor panes share (PopupMenu1); null: a pane owner makes its own.
    virtual QMenu* EditorPopupMenu() { return nullptr; }

    // Whether the speller is registered (read from the registry at start).
    virtual bool SpellerPresent() const = 0;
};
