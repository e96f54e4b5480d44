#pragma once
// What the list properties panel needs from the mail list wizard: whether it runs, its step
// label (the wizard's whole step state) and its Next action. The wizard implements this;
// without one the panel advances nothing.
#include <QString>

class TMailListWizardLink
{
public:
    virtual ~TMailListWizardLink() = default;

    // The main window's MailListWizardActive flag.
    virtual bool MailListWizardActive() const = 0;
    virtual QString StepLabel() const = 0;
    virtual void SetStepLabel(const QString& step) = 0;
    // Moves the wizard to the step after the one its label names.
    virtual void Next() = 0;
};
