#pragma once
// What both inbox harnesses do alike: a message put straight into an Inbox file and record
// (no server), the numbers listed, and the list's entries as the maintenance tests set and read them.
#include "inbox/InboxState.h"
#include "inbox/MailText.h"
#include "lists/ListsState.h"
#include "lists/MailListRecord.h"
#include "platform/Cp1252.h"

#include <QStringList>

#include <memory>

namespace inboxtest {

// The record of `raw` as message `msgNum`, its Inbox file written into `folder`.
inline TMailRecord Record(const QByteArray& raw, int msgNum, const QString& folder)
{
    QString text = cp1252::decode(raw);
    if (text.endsWith(QLatin1String("\r\n")))
        text.chop(2);
    const QStringList lines = text.split(QStringLiteral("\r\n"));
    TMailRecord r;
    mailtext::FillRecord(r, lines);
    r.MsgNum = msgNum;
    QString error;
    r.FileName = mailtext::WriteNewFile(folder, QStringLiteral("m.txt"),
                                        mailtext::FileBytes(mailtext::InboxLines(lines)), &error);
    return r;
}

// Adds a subscriber straight to the entries (duplicates included).
inline void AddSubscriber(TListsState& state, const QString& email, const QString& name)
{
    auto e = std::make_unique<MailListRecord>();
    e->SetText(MailListRecord::Email, email);
    e->SetText(MailListRecord::Name, name);
    state.ListEntries.Append(std::move(e));
}

// The message numbers of the listed records, in order.
inline QList<int> Numbers(const TInboxState& inbox)
{
    QList<int> out;
    for (const TMailRecord& r : inbox.MailRecords)
        out << r.MsgNum;
    return out;
}

inline QStringList Emails(const TListsState& state)
{
    QStringList out;
    for (int i = 0; i < state.ListEntries.Count(); ++i)
        out << state.ListEntries.At(i).Text(MailListRecord::Email);
    return out;
}

} // namespace inboxtest
