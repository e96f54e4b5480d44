#pragma once
// The main window: the composition root that creates the panels and engines, wires them, and
// offers them the shell services (status line, gauge, sounds, sliding panels, dialogs).
#include "app/AppState.h"
#include "platform/Dialogs.h"
#include "platform/EventPump.h"
#include "platform/Shell.h"

#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QMenu;
class QProgressBar;
class QTableWidget;
class QTextEdit;
class QTimer;

class TAboutBox;
class TStatusLabel;
class TAddressPanel;
class TAddressTools;
class TFindPanel;
class TGeneralPropertiesPanel;
class TLabelEffect;
class TListPanel;
class TPop3Client;
class TSmtpClient;
class TWait;
class TListPropertiesPanel;
class TNewMailPanel;
class TSoundPlayer;
class TNLWizardForm;
class TDesktopLinks;
class TNewsletterEditor;
class TSendMailPanel;
class TSendEngine;
class TDigestPanel;

class TMainForm : public QMainWindow, public TShell
{
    Q_OBJECT
public:
    // `dialogs` replaces the real dialogs (tests); the window takes ownership.
    explicit TMainForm(TSoundPlayer& sounds, std::unique_ptr<TDialogService> dialogs = nullptr,
                       QWidget* parent = nullptr);
    ~TMainForm() override;

    TAppState& State() { return m_state; }
    TListPanel* ListPanel() const { return m_listPanel; }
    TGeneralPropertiesPanel* GeneralPanel() const { return m_generalPanel; }
    // The mail components: one wait object shared by both clients.
    TWait* Wait1() const { return m_wait1; }
    TPop3Client* Pop3Client1() const { return m_pop3Client1; }
    TSmtpClient* SmtpClient1() const { return m_smtpClient1; }
    TListPropertiesPanel* ListPropertiesPanel() const { return m_listPropertiesPanel; }
    TAddressPanel* AddressPanel() const { return m_addressPanel; }
    TAddressTools* AddressTools() const { return m_addressTools; }
    // The wizard window (NLWizardForm) and the Help/web/add-on entries.
    TNLWizardForm* NLWizardForm() const { return m_wizard; }
    TDesktopLinks* DesktopLinks() const { return m_desktopLinks; }
    TNewsletterEditor* Newsletter() const { return m_newsletter; }
    TSendMailPanel* SendPanel() const { return m_sendPanel; }
    TSendEngine* SendEngine() const { return m_sendEngine; }
    TDigestPanel* DigestPanel() const { return m_digestPanel; }
    TNewMailPanel* NewMailPanel() const { return m_newMail; }
    QWidget* Panel(const QString& name) const; // by component name
    QWidget* Central() const { return m_central; }
    int ClientWidth() const;
    int ClientHeight() const;

    // TShell
    // While the program ends without a person to answer (EndSession), boxes are reported on
    // the error output instead of shown, and questions get their cautious answer.
    TDialogService& Dialogs() override { return m_unattended ? *m_quietDialogs : *m_dialogs; }
    QWidget* Window() override { return this; }
    void SetStatus(const QString& text, bool paintNow = false) override;
    QString Status() const override;
    void StopStatusTimer() override;
    void StartStatusTimer() override;
    void PlaySound(const QString& fileName) override;
    void ShowGauge(qint64 maximum) override;
    void SetGaugeProgress(qint64 progress) override;
    void HideGauge() override;
    void OpenSlidingPanel(QWidget* panel, int width, int height, QWidget* focus, bool playSound = true) override;
    void CloseSlidingPanel(QWidget* panel, int width) override;
    bool EditPanelOpen() const override;
    void ProcessMessages() override;
    QAction* Action(const QString& name) override;
    QString ActiveEditor() const override { return m_state.ActiveEditor; }
    void SetActiveEditor(const QString& name) override { m_state.ActiveEditor = name; }
    QTextEdit* EditorPane(const QString& name) override;
    QLineEdit* Subject() override;
    void FocusEditor(const QString& name) override;
    QMenu* EditorPopupMenu() override { return m_popupMenu; }
    bool SpellerPresent() const override { return m_state.SpellerPresent; }

    // Settings file.
    void LoadSettings();
    bool SaveSettings();

    // Handlers of the main window's own controls.
    void MailListLBLClick();
    void NewsletterLBLClick();
    void NewMailLBLClick();
    void ViewDigestLBLClick();
    void Newsletter2Click();
    void NewMail1Click();
    // The Newsletter panel opened (when collapsed) or brought to the front at its open size.
    void OpenNewsletterPanel();
    void Sounds1Click();
    void Hints1Click();
    void Image1Click(); // closes the about box
    void ClearStatusTimer1Timer();
    void FormResize();
    void FormActivate();

    // Hooks the later subsystems fill in.
    std::function<bool()> CloseNewsletter;   // the newsletter close command; false cancels closing
    std::function<void()> CompileDigest;     // before the digest panel opens

    bool HintsOn() const;

    // Ending without a person to ask (a terminate signal, the desktop session quitting): the
    // newsletter's unsaved changes go to a recovery copy, a changed list to its file (or, when
    // that cannot take it, to a recovery copy), the settings to their file; no question is
    // asked. The window then closes without the close sequence's questions.
    void EndSession();
    // The desktop session is about to end (its save request): the same writes, but the program
    // keeps running; a close that follows before the user touches the window asks nothing.
    void SaveForSessionEnd();
    // A terminate signal: EndSession, dismiss a box left open (as Cancel: the command that
    // asked then finds the session ended and asks nothing more), close, and quit once control
    // is back in the main event loop.
    void EndOnSignal();
    // The recovery copies a previous run left: the newsletter is offered back, kept lists are
    // named. Runs on the first activation.
    void OfferRecovery();

    // The editor commands a side panel turns on or off as it opens or collapses; a command
    // left empty keeps its state.
    struct TEditorCommands
    {
        std::optional<bool> Find, Replace, Font, ReplaceAll, PopupReplace, InsertDateTime, CheckSpelling;
    };
    void UpdateEditorCommands(const TEditorCommands& commands);

protected:
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    // Tab and Shift+Tab pass over what cannot be seen and stay inside an open sliding panel.
    bool focusNextPrevChild(bool next) override;
    void showEvent(QShowEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    void BuildMenus();
    QAction* AddAction(QMenu* menu, const char* name, const QString& caption, const QKeySequence& key = {},
                       bool enabled = true);
    void BuildPanels();
    void BuildStatusPanel();
    // The strip's colour, with the text in whichever of black and white reads better on it.
    void SetStatusPanelColor(const QColor& color);
    void BuildMailComponents();
    void BuildGuide();
    void BuildSending();
    QWidget* MakeSidePanel(const QString& name, const QString& labelName, const QString& title,
                           TLabelEffect** label, bool titleOnRight);
    void SetTitleHint(TLabelEffect* label, bool open);
    void EnsureFolders();
    void LoadCatalog(const QStringList& paths);
    // The catalog as the settings file keeps it: the lists shown, then those unreadable at start.
    QStringList CatalogPaths() const;
    // Writes the catalog alone, as soon as a list is added or removed: a list whose folder is
    // made is not forgotten if the program is killed before it closes.
    void SaveCatalog();
    // Reports a failed write of the settings file; returns `ok`.
    bool SettingsWritten(bool ok, const QString& error);
    void UpdateSizeLimits();
    QWidget* FocusedSlidingPanel() const; // the open sliding panel holding the focus
    bool CancelSlidingPanel(QObject* watched);
    bool TabStop(QWidget* w, QWidget* confine) const;
    void LeaveCollapsedPanel(QWidget* panel);
    void WriteUnsavedWork();
    bool RestoreNewsletter(const QString& path);

    TAppState m_state;
    TSoundPlayer& m_sounds;
    std::unique_ptr<TDialogService> m_dialogs;
    QHash<QString, QAction*> m_actions;
    QWidget* m_central = nullptr;
    QHash<QString, QWidget*> m_panels;
    QList<QWidget*> m_editPanels; // sliding edit panels open now (children of the window)
    QList<QWidget*> m_slidingPanels; // every sliding panel open now, the send panel too
    TLabelEffect* m_mailListLBL = nullptr;
    TLabelEffect* m_newsletterLBL = nullptr;
    TLabelEffect* m_newMailLBL = nullptr;
    TLabelEffect* m_viewDigestLBL = nullptr;
    QWidget* m_statusPanel = nullptr;
    TStatusLabel* m_statusBar = nullptr;
    QProgressBar* m_gauge = nullptr;
    qint64 m_gaugeMax = 1;
    QTimer* m_clearStatusTimer = nullptr;
    TAboutBox* m_aboutBox = nullptr;
    QTextEdit* m_messageRE = nullptr;
    QTextEdit* m_digestRE = nullptr;
    TNewMailPanel* m_newMail = nullptr;
    QMenu* m_popupMenu = nullptr;
    TListPanel* m_listPanel = nullptr;
    TGeneralPropertiesPanel* m_generalPanel = nullptr;
    TWait* m_wait1 = nullptr;
    TPop3Client* m_pop3Client1 = nullptr;
    TSmtpClient* m_smtpClient1 = nullptr;
    TListPropertiesPanel* m_listPropertiesPanel = nullptr;
    TAddressPanel* m_addressPanel = nullptr;
    TAddressTools* m_addressTools = nullptr;
    TNLWizardForm* m_wizard = nullptr;
    TDesktopLinks* m_desktopLinks = nullptr;
    TNewsletterEditor* m_newsletter = nullptr;
    TSendMailPanel* m_sendPanel = nullptr;
    TSendEngine* m_sendEngine = nullptr;
    TDigestPanel* m_digestPanel = nullptr;
    bool m_hints = true;
    bool m_activated = false;
    bool m_closing = false;
    bool m_closed = false;
    bool m_unattended = false;   // EndSession is running: Dialogs() asks nobody
    bool m_sessionSaved = false; // SaveForSessionEnd ran and the user has not acted since
    std::unique_ptr<TDialogService> m_quietDialogs;
    TEventPump m_pump;           // ProcessMessages: one event pass per time slice
    QAction* m_unknownAction = nullptr;
    TFindPanel* m_findPanel = nullptr;
};
