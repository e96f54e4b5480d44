#pragma once
// The send window tests' fixture: the harness's window with its client aimed at a test server,
// lists written as the program stores them, the newsletter typed in, the send panel's pages,
// and the parts of a message as a server stored it.
#include "app/MainForm.h"
#include "app/SettingsFile.h"
#include "editor/NewsletterEditor.h"
#include "lists/AddressList.h"
#include "lists/ListFile.h"
#include "net/SmtpClient.h"
#include "send/SendMailPanel.h"
#include "support/TestUtil.h"
#include "support/WindowHarness.h"

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTextEdit>
#include <QToolButton>

// A list's header record; the text files' contents (empty: no such file), and how many of the
// three subscribers it holds.
struct TSendList
{
    QString options;
    QString to = QStringLiteral("readers@example.com");
    QString reply = QStringLiteral("news@example.com");
    QString smtp = QStringLiteral("127.0.0.1");
    QString toKey;
    QString subjectKey;
    QString name = QStringLiteral("News");
    int people = 3;
    QByteArray header = "== Header ==\r\n";
    QByteArray sig = "-- \r\nThe Editor\r\n";
    QByteArray footer = "Footer line 1\r\nFooter line 2\r\n";
};

class TSendWindow : protected TWindowHarness
{
protected:
    QStringList m_listPaths;

    void ResetWindow()
    {
        TWindowHarness::ResetWindow();
        m_listPaths.clear();
    }

    QString writeFile(const QString& rel, const QByteArray& bytes)
    {
        testutil::writeAll(home(rel), bytes);
        return home(rel);
    }

    // The list in its own folder, and the settings that name every list made so far.
    void makeList(const TSendList& list, const TGeneralSettings& general = TGeneralSettings())
    {
        QDir().mkpath(home(list.name + "/Sent Mail"));
        const QString path = home(list.name + "/" + list.name + ".qvl");
        m_listPaths << path;
        MailListRecord h;
        h.SetText(MailListRecord::Name, list.name);
        h.SetText(MailListRecord::Reply, list.reply);
        h.SetText(MailListRecord::ToAddress, list.to);
        h.SetText(MailListRecord::SmtpServer, list.smtp);
        h.SetText(MailListRecord::Options, list.options);
        h.SetText(MailListRecord::ToKey, list.toKey);
        h.SetText(MailListRecord::SubjectKey, list.subjectKey);
        h.SetText(MailListRecord::FilePath, path);
        if (!list.header.isEmpty())
            h.SetText(MailListRecord::HeaderFile, writeFile(list.name + "/header.txt", list.header));
        if (!list.sig.isEmpty())
            h.SetText(MailListRecord::SigFile, writeFile(list.name + "/sig.txt", list.sig));
        if (!list.footer.isEmpty())
            h.SetText(MailListRecord::FooterFile, writeFile(list.name + "/footer.txt", list.footer));
        TAddressList entries;
        const char* const people[][4] = {{"Ann Able", "ann@example.org", "1 Ash Row", "555-1"},
                                         {"Bob Baker", "bob@example.net", "", ""},
                                         {"Cy Cole", "cy@example.org", "3 Elm St", "555-3"}};
        for (int i = 0; i < list.people; ++i) {
            auto e = std::make_unique<MailListRecord>();
            e->SetText(MailListRecord::Name, QLatin1String(people[i][0]));
            e->SetText(MailListRecord::Email, QLatin1String(people[i][1]));
            e->SetText(MailListRecord::Street1, QLatin1String(people[i][2]));
            e->SetText(MailListRecord::Phone, QLatin1String(people[i][3]));
            entries.Append(std::move(e));
        }
        QString error;
        QVERIFY2(listfile::Write(path, h, entries, &error), qPrintable(error));
        TSettingsData d;
        d.General = general;
        d.ListPaths = m_listPaths;
        QVERIFY2(settingsfile::Save(settingsfile::FileName(), d, &error), qPrintable(error));
    }

    TMainForm& start(quint16 port)
    {
        StartWindow();
        m_form->SmtpClient1()->SetPort(QString::number(port));
        m_form->SmtpClient1()->SetRcptPause(0);
        return *m_form;
    }

    void write(const QString& subject, const QString& body)
    {
        m_form->Newsletter()->SubjectEDT()->setText(subject);
        m_form->Newsletter()->LetterRE()->setPlainText(body);
    }

    TSendMailPanel& openPanel()
    {
        m_form->Newsletter()->Button(QStringLiteral("SendMailToBtn"))->click();
        return *m_form->SendPanel();
    }

    // The list page with the given entries checked.
    TSendMailPanel& listPage(const QList<int>& checked)
    {
        TSendMailPanel& p = openPanel();
        p.PageControl3()->setCurrentWidget(p.SendListTS());
        for (int i : checked)
            p.SendToModel()->SetChecked(i, true);
        return p;
    }

    void sendToList(const QList<int>& checked) { listPage(checked).SendToBtn()->click(); }
    QString status() const { return m_form->Status(); }
};

// A header's value, its folded lines joined.
inline QByteArray HeaderValue(const QByteArray& message, const QByteArray& name)
{
    const qsizetype end = message.indexOf("\r\n\r\n");
    const QList<QByteArray> lines = message.left(end).split('\n');
    QByteArray value;
    bool in = false;
    for (QByteArray l : lines) {
        l.chop(l.endsWith('\r') ? 1 : 0);
        if (in && (l.startsWith(' ') || l.startsWith('\t'))) {
            value += l.mid(1);
            continue;
        }
        in = l.startsWith(name + ": ");
        if (in)
            value = l.mid(name.size() + 2);
        else if (!value.isEmpty())
            break;
    }
    return value;
}

// The header block with its last line end.
inline QByteArray HeaderBlock(const QByteArray& message)
{
    return message.left(message.indexOf("\r\n\r\n") + 2);
}

inline QByteArray Body(const QByteArray& message)
{
    return message.mid(message.indexOf("\r\n\r\n") + 4);
}
