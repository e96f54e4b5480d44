#pragma once
// A dialog service for tests: records every message box and answers from a script.
#include "platform/Dialogs.h"

#include <QList>
#include <QQueue>

class TFakeDialogs : public TDialogService
{
public:
    struct Message
    {
        QString text;
        MsgType type;
        int buttons;
    };

    QList<Message> messages;
    QQueue<int> answers;                 // buttons to press, in order; default: Yes, else OK
    QQueue<QString> openFiles;           // paths to choose in open dialogs; empty string = cancel
    QQueue<QString> saveFiles;           // paths to choose in save dialogs; empty string = cancel
    QList<TFileDialogRequest> openRequests;
    QList<TFileDialogRequest> saveRequests;
    QQueue<QFont> fonts;
    QQueue<QColor> colors;
    QString printToPdf;                  // when set, printing goes to this PDF file
    int printRequests = 0;

    QStringList texts() const;
    void clear();

    int MessageBox(const QString& text, MsgType type, int buttons, QWidget* parent) override;
    bool OpenFile(TFileDialogRequest& request, QWidget* parent) override;
    bool SaveFile(TFileDialogRequest& request, QWidget* parent) override;
    bool ChooseFont(QFont& font, QColor& color, QWidget* parent) override;
    bool ChooseColor(QColor& color, QWidget* parent) override;
    bool SetupPrinter(QPrinter& printer, QWidget* parent) override;
};
