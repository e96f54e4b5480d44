#pragma once
// The Newsletter panel's document: subject line, rich-text body, toolbar and the commands of
// the File > Newsletter, Edit, Format and Tools menus that act on it. The main window owns the
// panel frame and its title tab; this class creates the controls inside it and wires the
// menu actions it gets from the shell.
#include <QColor>
#include <QFont>
#include <QObject>
#include <QPointer>
#include <QString>

class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QTextEdit;
class QToolButton;
class QWidget;
class TShell;

class TNewsletterEditor : public QObject
{
    Q_OBJECT
public:
    // The control geometry inside the panel; the open/collapse logic of the main window sets
    // the widths of the wide controls to panel width - 40.
    static constexpr int kLeft = 32;
    static constexpr int kLetterTop = 100;
    static constexpr int kLetterHeightMargin = 110; // LetterRE height = panel height - 110

    TNewsletterEditor(TShell& shell, QWidget* newsletterPanel, QObject* parent = nullptr);
    ~TNewsletterEditor() override;

    QWidget* Panel() const;
    QLineEdit* SubjectEDT() const { return m_subject; }
    QTextEdit* LetterRE() const { return m_letter; }
    QTextEdit* HeaderRE() const { return m_header; }
    QTextEdit* FooterRE() const { return m_footer; }
    QTextEdit* SigRE() const { return m_sig; }
    QFrame* Panel1() const { return m_toolbar; }
    QMenu* PopupMenu1() const { return m_popup; }
    QToolButton* Button(const QString& name) const; // "SendMailToBtn", "PrintBtn", ...
    // The panel was opened to its full width: the subject, the letter, the tool bar and their
    // labels take it, less a 40-pixel margin.
    void FitToPanelWidth();

    // Document state. Opening a file gives LetterRE a new QTextDocument: hold the pane, not
    // its document.
    const QString& DocumentFileName() const { return m_fileName; }
    bool DocumentSaved() const { return m_saved; }
    void SetDocumentSaved(bool saved) { m_saved = saved; }
    // The body or the subject changed since the last save, open or close.
    bool Modified() const;

    // Command handlers. Save and Close return false when the user cancelled a save dialog or
    // a write failed; the document is then kept as it was.
    bool NewNewsletter1Click();
    void OpenFile1Click();
    bool SaveFile1Click();
    bool SaveFileAs1Click();
    bool CloseFile1Click();
    void ImportText1Click();
    void InsertDate1Click();
    void InsertTime1Click();
    void Font1Click();
    void BackgroundColor1Click();
    void PrintBtnClick();
    void Undo1Click();
    void Cut1Click();
    void Copy1Click();
    void Paste1Click();
    void Clear1Click();
    void SelectAll1Click();

    // Opens the file as the document (the Open command after its dialog). Returns false and
    // reports the error when the file cannot be read.
    bool LoadDocument(const QString& path);

signals:
    // Close asks the main window to run the Newsletter panel title's toggle.
    void TitleActionRequested();
    // A new newsletter was started (the newsletter wizard may advance).
    void NewsletterStarted();
    // The user chose a background colour for the main window and the status panel.
    void BackgroundColorChosen(const QColor& color);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    void ConnectActions();
    void BodyChanged();
    void LetterFocusIn();
    void LetterFocusOut();
    void OpenPanelForFileCommand();
    void InsertText(const QString& text);
    bool SaveTo(const QString& path);
    bool ConfirmReplacingForm(const QString& path);
    bool RunSaveDialog(QString* path);
    void RunAction(const QString& name);
    QWidget* Focused() const;
    QString DialogFolder() const;
    void Remember(const QString& path);

    TShell& m_shell;
    QPointer<QWidget> m_panel;
    QLineEdit* m_subject = nullptr;
    QTextEdit* m_letter = nullptr;
    QTextEdit* m_header = nullptr;
    QTextEdit* m_footer = nullptr;
    QTextEdit* m_sig = nullptr;
    QFrame* m_toolbar = nullptr;
    QLabel* m_label23 = nullptr;
    QLabel* m_label24 = nullptr;
    QMenu* m_popup = nullptr;

    // Used from the event filter, which may still run while the main window is torn down.
    QPointer<QAction> m_find1;
    QPointer<QAction> m_replace1;
    QPointer<QAction> m_clear1;
    QPointer<QAction> m_checkSpelling1;

    QString m_fileName;
    // The file as it was read: a save that would write it in the other body form asks first.
    QString m_readFile;
    bool m_readRich = false;
    QString m_lastFolder; // where the file dialogs open: the last file's folder
    bool m_saved = false;
    QString m_savedSubject; // the subject as last saved, opened or closed
    QFont m_lastFont;
    QColor m_lastColor = Qt::black;
};
