#pragma once
// The header, footer and signature editor: a small window, created at start and kept for the
// life of the program, in which the user writes one of the plain-text files a list or the
// general settings name. Saving a new file writes its path back into the field it came from.
#include "platform/PanelWidgets.h"

#include <QColor>
#include <QFont>
#include <QMainWindow>
#include <QPointer>

class QLineEdit;
class QTextEdit;
class TShell;

class TSigForm : public QMainWindow
{
    Q_OBJECT
public:
    explicit TSigForm(TShell& shell, QWidget* parent = nullptr);

    // Loads the file `field` names (if any) and shows the window. `kind` is "Header", "Footer",
    // "Sig", "UserHeader", "UserFooter" or "UserSig". Returns false, with the error reported and
    // the window left as it was, when the named file cannot be read.
    bool OpenEditor(QLineEdit* field, const QString& kind, const QString& caption);

    // Whose files a panel's editor buttons open: the list's (Header, Footer, Sig) or the
    // general settings' (UserHeader, UserFooter, UserSig).
    enum class TFileOwner { List, General };
    // Wires a panel's editor buttons (header, footer, signature) to their fields; a pair with
    // a missing button or field is left out. Returns how many were wired.
    int AttachButtons(TFileOwner owner, const TFileEditors& editors);

    QTextEdit* RichEdit1() const { return m_edit; }
    const QString& SigFileName() const { return m_fileName; }
    const QString& SigFileKind() const { return m_kind; }

    // Returns whether a file was written.
    bool Save1Click();
    void Font2Click();
    void Close1Click();
    void Clear1Click();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool WriteTo(const QString& path);

    TShell& m_shell;
    QTextEdit* m_edit = nullptr;
    QString m_fileName;
    QString m_kind;
    bool m_readRich = false; // the file being edited was read as RTF
    QPointer<QLineEdit> m_field;
    QFont m_lastFont;
    QColor m_lastColor = Qt::black;
    bool m_placed = false;
};
