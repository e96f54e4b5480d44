#pragma once
// Message boxes and the common dialogs (open, save, font, colour, print) go through this one
// service, which tests replace: no modal box ever blocks a test, and every message can be
// checked word for word.
#include <QColor>
#include <QFont>
#include <QString>
#include <QStringList>

class QLineEdit;
class QPrinter;
class QWidget;

// The state of a shared file dialog: what it shows when opened and, on OK, what was chosen.
struct TFileDialogRequest
{
    QString title;
    QStringList filters;          // "Text Documents (*.txt)", ...
    int filterIndex = 1;          // 1-based, in and out
    QString initialDir;
    QString fileName;             // in: the name shown; out: the full path chosen
    QString defaultExt;           // without the dot; added when the name has no extension
    bool mustExist = false;       // open: the chosen file must exist
    bool overwritePrompt = false; // save: ask before replacing a file
};

class TDialogService
{
public:
    enum MsgType { mtError, mtWarning, mtInformation, mtConfirmation };
    enum Button { mbOK = 1, mbYes = 2, mbNo = 4, mbCancel = 8 };

    virtual ~TDialogService() = default;
    // Returns the button pressed (one of `buttons`); closing the box counts as Cancel, else No,
    // else OK.
    virtual int MessageBox(const QString& text, MsgType type, int buttons, QWidget* parent = nullptr) = 0;
    virtual bool OpenFile(TFileDialogRequest& request, QWidget* parent = nullptr) = 0;
    virtual bool SaveFile(TFileDialogRequest& request, QWidget* parent = nullptr) = 0;
    virtual bool ChooseFont(QFont& font, QColor& color, QWidget* parent = nullptr) = 0;
    virtual bool ChooseColor(QColor& color, QWidget* parent = nullptr) = 0;
    virtual bool SetupPrinter(QPrinter& printer, QWidget* parent = nullptr) = 0;

    // Shorthands for the common boxes.
    void Error(const QString& text, QWidget* parent = nullptr) { MessageBox(text, mtError, mbOK, parent); }
    void Warning(const QString& text, QWidget* parent = nullptr) { MessageBox(text, mtWarning, mbOK, parent); }
    void Information(const QString& text, QWidget* parent = nullptr) { MessageBox(text, mtInformation, mbOK, parent); }
    bool AskYesNo(const QString& text, QWidget* parent = nullptr)
    {
        return MessageBox(text, mtConfirmation, mbYes | mbNo, parent) == mbYes;
    }

    static QString Caption(MsgType type);
    // The filters of the shared file-open dialog.
    static const QStringList& OpenFilters();
    // The shared open dialog on its first filter ("Text Documents"), titled `title`; on OK the
    // chosen path goes into `field`. The browse buttons beside file-name fields use it.
    bool BrowseIntoField(QLineEdit* field, const QString& title, QWidget* parent);
    // The extension a bare file name gets in a save dialog showing `filter`: the filter's own
    // when it names one ("Quorvel Document (*.qvd)"), else `defaultExt`.
    static QString SuffixForFilter(const QString& filter, const QString& defaultExt);
};

// The real dialogs.
class TQtDialogService : public TDialogService
{
public:
    int MessageBox(const QString& text, MsgType type, int buttons, QWidget* parent) override;
    bool OpenFile(TFileDialogRequest& request, QWidget* parent) override;
    bool SaveFile(TFileDialogRequest& request, QWidget* parent) override;
    bool ChooseFont(QFont& font, QColor& color, QWidget* parent) override;
    bool ChooseColor(QColor& color, QWidget* parent) override;
    bool SetupPrinter(QPrinter& printer, QWidget* parent) override;
};
