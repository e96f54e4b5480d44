#pragma once
// The mail list panels over a stand-in shell, in a program folder of their own.
#include "lists/AddressPanel.h"
#include "lists/AddressTools.h"
#include "lists/ListFile.h"
#include "lists/ListPanel.h"
#include "lists/ListPropertiesPanel.h"
#include "lists/MailListModel.h"
#include "support/FakeShell.h"
#include "support/TestUtil.h"

#include <QDir>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <initializer_list>
#include <utility>

struct TListsHarness
{
    using Fields = std::initializer_list<std::pair<const char*, QString>>; // control name, text

    QTemporaryDir home;
    TListsState state; // outlives the shell's window, whose model observes it
    TFakeShell shell;
    TFakeDialogs& dialogs = shell.dialogs;
    TListPanel* lists = nullptr;
    TListPropertiesPanel* props = nullptr;
    TAddressPanel* address = nullptr;
    TAddressTools* tools = nullptr;

    // With a name, the list is created and left open.
    explicit TListsHarness(const QString& listName = QString())
    {
        qputenv("QUORVEL_HOME", home.path().toLocal8Bit());
        shell.window.resize(800, 600);
        auto* frame = new QWidget(&shell.window);
        frame->setGeometry(0, 3, 253, 361);
        lists = new TListPanel(shell, state, frame, &shell.window);
        props = new TListPropertiesPanel(shell, state, *lists, &shell.window);
        address = new TAddressPanel(shell, state, *lists, &shell.window);
        tools = new TAddressTools(shell, state, *lists, &shell.window);
        if (!listName.isEmpty())
            NewList(listName);
    }

    QString Home() const { return home.path() + u'/'; }

    // Creates a list through the properties panel and leaves it open.
    MailListRecord* NewList(const QString& name)
    {
        props->NewMailList1Click();
        props->Field(QStringLiteral("ListNameEDT"))->setText(name);
        return SaveList({});
    }

    // Edits the open list's properties.
    MailListRecord* EditList(Fields fields)
    {
        props->EditListBtnClick();
        return SaveList(fields);
    }

    // Fills in the open properties panel and saves.
    MailListRecord* SaveList(Fields fields)
    {
        for (const auto& [control, text] : fields)
            props->Field(QLatin1String(control))->setText(text);
        props->SaveBtn()->click();
        return state.CurrentList;
    }

    // Adds an address through the address panel.
    void Add(const QString& email, const QString& name = QString())
    {
        address->NewBtnClick();
        address->Field(QStringLiteral("EmailEDT"))->setText(email);
        address->Field(QStringLiteral("NameEDT"))->setText(name);
        address->AddBtn()->click();
    }

    // Edits the address on line `row` through the address panel.
    void Edit(int row, Fields fields)
    {
        lists->SelectEntry(row);
        address->EditbtnClick();
        for (const auto& [control, text] : fields)
            address->Field(QLatin1String(control))->setText(text);
        address->AddBtn()->click();
    }

    void Remove(int row)
    {
        lists->SelectEntry(row);
        address->RemoveBtnClick();
    }

    // Extracts the addresses of `path` into the open list through the open dialog.
    void Extract(const QString& path)
    {
        dialogs.openFiles.enqueue(path);
        tools->ImportMailList1Click();
    }

    // A file in the program folder.
    QString Write(const QString& name, const QByteArray& bytes) const
    {
        const QString path = Home() + name;
        return testutil::writeAll(path, bytes) ? path : QString();
    }

    // The list boxes answer and the status timer runs: no long command is left half done.
    bool Idle() const
    {
        return lists->ListsLB()->isEnabled() && lists->MailList()->isEnabled() && shell.statusTimerRunning &&
               !lists->Busy();
    }

    // Whether the list panel's button or the menu item of that name is enabled.
    bool Enabled(const QString& name)
    {
        if (QToolButton* b = lists->Button(name))
            return b->isEnabled();
        return shell.Action(name)->isEnabled();
    }

    // The MailList lines as shown.
    QStringList Lines() const
    {
        QStringList out;
        TMailListModel* m = lists->MailListModel();
        for (int i = 0; i < m->rowCount(); ++i)
            out << m->data(m->index(i), Qt::DisplayRole).toString();
        return out;
    }

    // The e-mail addresses of the list file on disk, in file order (empty when unreadable).
    static QStringList FileEmails(const QString& path, MailListRecord* header = nullptr)
    {
        QStringList out;
        listfile::TReader r;
        MailListRecord h;
        if (!r.Open(path) || !r.ReadHeader(&h))
            return out;
        if (header)
            *header = h;
        MailListRecord rec;
        while (r.Next(&rec))
            out << rec.Text(MailListRecord::Email);
        return out;
    }

    // The given fields of the header of the list file on disk.
    static QStringList FileHeader(const QString& path, std::initializer_list<MailListRecord::Field> fields)
    {
        MailListRecord header;
        FileEmails(path, &header);
        QStringList out;
        for (MailListRecord::Field f : fields)
            out << header.Text(f);
        return out;
    }

    QString CurrentPath() const
    {
        return state.CurrentList ? state.CurrentList->Text(MailListRecord::FilePath) : QString();
    }

    // The names in a folder of the program folder.
    QStringList Entries(const QString& folder = QString()) const
    {
        return QDir(Home() + folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
    }
};
