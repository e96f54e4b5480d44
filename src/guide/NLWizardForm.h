#pragma once
// The wizard window: a small floating window that walks the user through writing a newsletter
// (6 steps) or setting up a mail list (8 steps). It shows each step's number, name and text;
// the user does the work in the main window, some of whose actions advance the wizard.
// The step state is the text of StepLBL, as the main window and the list properties panel
// set it before running Next.
#include "guide/WizardSteps.h"
#include "lists/ListWizardLink.h"

#include <QWidget>

class QLabel;
class QTextEdit;
class QToolButton;
class TShell;

class TNLWizardForm : public QWidget, public TMailListWizardLink
{
    Q_OBJECT
public:
    // The two flags are the main window's NewsletterWizardActive and MailListWizardActive.
    TNLWizardForm(TShell& shell, bool& newsletterWizardActive, bool& mailListWizardActive,
                  QWidget* parent = nullptr);

    // File > Wizards.
    void Newsletter1Click();
    void MailList1Click();
    void NextBtnClick();
    void BackBtnClick();
    // Ends the wizard (Cancel, Finish).
    void CancelBtnClick();
    // A new newsletter was started: the newsletter wizard moves from step 1 to step 2.
    void NewNewsletterStarted();

    // The wizard running now (the newsletter wizard is asked first).
    wizard::Kind Running() const;

    // TMailListWizardLink
    bool MailListWizardActive() const override { return m_mailListActive; }
    QString StepLabel() const override;
    void SetStepLabel(const QString& step) override;
    void Next() override { NextBtnClick(); }

    QLabel* Label1() const { return m_label1; }
    QLabel* StepLBL() const { return m_stepLBL; }
    QLabel* StepNameLBL() const { return m_stepNameLBL; }
    QTextEdit* RichEdit1() const { return m_richEdit1; }
    QToolButton* BackBtn() const { return m_backBtn; }
    QToolButton* NextBtn() const { return m_nextBtn; }
    QToolButton* CancelBtn() const { return m_cancelBtn; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Start(wizard::Kind kind);
    void MoveTo(wizard::Kind kind, int index, bool forward);
    // Loads a step file into RichEdit1 (rich text when it holds an RTF stream); false when it
    // cannot be read.
    bool LoadStep(const QString& fileName);
    void FileMissing();
    void End();
    void SetButtons(wizard::Kind kind, int index);

    TShell& m_shell;
    bool& m_newsletterActive;
    bool& m_mailListActive;
    QLabel* m_label1 = nullptr;
    QTextEdit* m_richEdit1 = nullptr;
    QLabel* m_stepLBL = nullptr;
    QLabel* m_stepNameLBL = nullptr;
    QToolButton* m_backBtn = nullptr;
    QToolButton* m_nextBtn = nullptr;
    QToolButton* m_cancelBtn = nullptr;
};
