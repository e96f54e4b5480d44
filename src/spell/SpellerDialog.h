#pragma once
// The dialog of the interactive spelling check: shows each error in its line (the rest of the
// line protected), names the kind of error, offers suggestions, and changes, skips, ignores,
// adds or deletes through the interactive check's operations.
#include <QDialog>
#include <QHash>
#include <QPointer>

class QLabel;
class QListWidget;
class QPushButton;
class QTextEdit;
class TInteractiveCheck;
class TSpellHost;

class TSpellerDialog : public QDialog
{
    Q_OBJECT
public:
    enum View { vwNone, vwError, vwInformation, vwRepeated };

    TSpellerDialog(TInteractiveCheck* check, QWidget* parent = nullptr);
    ~TSpellerDialog() override;

    // Finds and shows the next error, or finishes.
    void NextError();
    // Hides the dialog (ending a modal loop) and, when asked, shows the finish message.
    void Finish(bool finishMessage = true);
    // The component's language changed: caption and character set follow it.
    void LanguageChanged();
    // The dialog lets go of its check (it is about to be destroyed).
    void Detach();

    static QString StatusText(int status);

    int Status() const { return m_status; }
    View CurrentView() const { return m_view; }
    int CharSet() const { return m_charSet; }
    QString UnprotectedRun() const; // the word as the user may have edited it
    QString ContextLine() const;

    void ChangeButtonClick();
    void ChangeAllButtonClick();
    void SkipButtonClick();
    void SkipAllButtonClick();
    void AddButtonClick();
    void DelButtonClick();
    void CancelEditClick();
    void CancelButtonClick();
    void StartButtonClick();

public slots:
    void reject() override; // Esc and the close box: Cancel

protected:
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ContextPane();
    void RenderPane(const QString& word);
    void PaneChanged();
    void ErrorView(int status);
    void InformationView();
    void RepeatedWordView();
    void EditedView();
    void ShowDialog();
    void FocusFirst();
    void Remember();
    void Restore();
    void Act(void (TSpellerDialog::*action)());
    void Report(const QString& message, bool error = true); // else information, over the owner

    TSpellHost& host() const;

    QPointer<TInteractiveCheck> m_check;
    QLabel* m_info;
    QTextEdit* m_pane;
    QLabel* m_label2;
    QListWidget* m_variants;
    QPushButton* m_change;
    QPushButton* m_changeAll;
    QPushButton* m_skip;
    QPushButton* m_skipAll;
    QPushButton* m_add;
    QPushButton* m_del;
    QPushButton* m_cancel;
    QPushButton* m_cancelEdit;
    QPushButton* m_start;

    int m_status = 0;
    View m_view = vwNone;
    bool m_updating = false;
    int m_charSet = 0;
    QString m_prefix; // the protected text before and after the word
    QString m_suffix;
    QString m_run;    // the word as shown
    struct ControlState
    {
        bool visible;
        bool enabled;
    };
    QHash<QWidget*, ControlState> m_viewState; // as the current view set the controls
    QStringList m_viewVariants;
    int m_viewRow = -1;
};
