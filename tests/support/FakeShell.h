#pragma once
// A stand-in for the main window's services, for testing panels and engines alone.
#include "platform/Shell.h"
#include "support/FakeDialogs.h"

#include <QAction>
#include <QHash>
#include <QLineEdit>
#include <QPointer>
#include <QStringList>
#include <QTextEdit>
#include <QWidget>
#include <functional>

class TFakeShell : public TShell
{
public:
    TFakeDialogs dialogs;
    QWidget window;
    QString status = QStringLiteral("Status:");
    QStringList statusHistory;
    QStringList sounds;
    bool statusTimerRunning = true;
    bool gaugeVisible = false;
    qint64 gaugeMax = 0;
    qint64 gaugeProgress = 0;
    QList<QWidget*> openPanels;
    QHash<QString, QAction*> actions;        // menu items, created on first use, owned by `window`
    QString activeEditor;
    QHash<QString, QPointer<QTextEdit>> panes; // "Letter", "Message", "Digest"
    QPointer<QLineEdit> subject;
    QStringList focusedEditors; // every FocusEditor call, in order
    bool spellerPresent = false;

    TDialogService& Dialogs() override { return dialogs; }
    QWidget* Window() override { return &window; }
    void SetStatus(const QString& text, bool) override
    {
        status = text;
        statusHistory << text;
    }
    QString Status() const override { return status; }
    void StopStatusTimer() override { statusTimerRunning = false; }
    void StartStatusTimer() override { statusTimerRunning = true; }
    void PlaySound(const QString& fileName) override { sounds << fileName; }
    void ShowGauge(qint64 maximum) override
    {
        gaugeVisible = true;
        gaugeMax = maximum;
        gaugeProgress = 1;
    }
    void SetGaugeProgress(qint64 progress) override { gaugeProgress = progress; }
    void HideGauge() override { gaugeVisible = false; }
    void OpenSlidingPanel(QWidget* panel, int width, int height, QWidget* focus, bool playSound) override;
    void CloseSlidingPanel(QWidget* panel, int width) override;
    bool EditPanelOpen() const override;
    // Runs during long work where the window would process events (tests click there).
    std::function<void()> onProcessMessages;
    void ProcessMessages() override
    {
        if (onProcessMessages)
            onProcessMessages();
    }
    QAction* Action(const QString& name) override;
    QString ActiveEditor() const override { return activeEditor; }
    void SetActiveEditor(const QString& name) override { activeEditor = name; }
    QTextEdit* EditorPane(const QString& name) override { return panes.value(name); }
    QLineEdit* Subject() override { return subject; }
    // Records the call and makes the pane the active editor; the enable rules are the window's.
    void FocusEditor(const QString& name) override
    {
        activeEditor = name;
        focusedEditors << name;
    }
    bool SpellerPresent() const override { return spellerPresent; }
};
