#pragma once
// The find/replace panel of the main window. It searches the pane named by the shell's
// ActiveEditor ("Letter", "Message", "Digest") and replaces on the newsletter body.
#include "editor/TextSearch.h"

#include <QFrame>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTextEdit;
class TShell;

class TFindPanel : public QFrame
{
    Q_OBJECT
public:
    TFindPanel(TShell& shell, QWidget* parent);

    QLineEdit* FEdit() const { return m_find; }
    QLineEdit* REdit() const { return m_replace; }
    QCheckBox* mcase() const { return m_case; }
    QCheckBox* wword() const { return m_words; }
    QCheckBox* StartTop() const { return m_startTop; }
    QCheckBox* SearchUp() const { return m_up; }
    QPushButton* OkBtn() const { return m_ok; }
    QPushButton* ReplaceAllBtn() const { return m_replaceAll; }
    QPushButton* CloseBtn() const { return m_close; }
    bool ReplaceAllRunning() const { return m_replaceAllRunning; }

    void Find1Click();
    void Replace1Click();
    void OkBtnClick();
    void ReplaceAllBtnClick();
    void CloseBtnClick();

    // One search step: replaces the selected match with `replaceText` (when not empty), then
    // selects the next match, or shows the not-found message. Returns whether it found one.
    bool SearchActivePane(const QString& replaceText);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QTextEdit* SearchedPane() const;
    TSearchOptions Options() const;
    QString SearchText() const;
    void ApplyStartTop(QTextEdit* pane);
    void Select(QTextEdit* pane, TSpan span);
    void NotFound(QTextEdit* pane, const QString& searched);
    void ReplaceAll(const QString& replaceText);

    TShell& m_shell;
    QLabel* m_title = nullptr;
    QLineEdit* m_find = nullptr;
    QLineEdit* m_replace = nullptr;
    QCheckBox* m_case = nullptr;
    QCheckBox* m_words = nullptr;
    QCheckBox* m_startTop = nullptr;
    QCheckBox* m_up = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_replaceAll = nullptr;
    QPushButton* m_close = nullptr;
    bool m_replaceAllRunning = false;
};
