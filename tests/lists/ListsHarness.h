#pragma once
// The mail list panels over a stand-in shell, in a program folder of their own.
#include "lists/AddressPanel.h"
#include "lists/AddressTools.h"
#include "lists/ListFile.h"
#include "lists/ListPanel.h"
#include "lists/ListPropertiesPanel.h"
#include "lists/MailListModel.h"
#include "support/FakeShell.h"

#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

struct TListsHarness
{
    QTemporaryDir home;
    TListsState state; // outlives the shell's window, whose model observes it
    TFakeShell shell;
    TListPanel* lists = nullptr;
    TListPropertiesPanel* props = nullptr;
    TAddressPanel* address = nullptr;
    TAddressTools* tools = nullptr;

    TListsHarness()
    {
        qputenv("QUORVEL_HOME", home.path().toLocal8Bit());
        shell.window.resize(800, 600);
        auto* frame = new QWidget(&shell.window);
        frame->setGeometry(0, 3, 253, 361);
        lists = new TListPanel(shell, state, frame, &shell.window);
        props = new TListPropertiesPanel(shell, state, *lists, &shell.window);
        address = new TAddressPanel(shell, state, *lists, &shell.window);
        tools = new TAddressTools(shell, state, *lists, &shell.window);
    }

    QString Home() const { return home.path() + u'/'; }

    // Creates a list through the properties panel and leaves it open.
    MailListRecord* NewList(const QString& name)
    {
        props->NewMailList1Click();
        props->Field(QStringLiteral("ListNameEDT"))->setText(name);
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

    QString CurrentPath() const
    {
        return state.CurrentList ? state.CurrentList->Text(MailListRecord::FilePath) : QString();
    }
};
