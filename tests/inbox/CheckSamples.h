#pragma once
// Messages the mail check tests put on the server.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace samples {
inline const QByteArray kAlice = "From: Alice Example <alice@example.org>\r\n"
                                 "To: news@example.org\r\n"
                                 "Subject: Hello\r\n"
                                 "Date: Mon, 7 Dec 2026 10:00:00 +0000\r\n"
                                 "Message-ID: <1@example.org>\r\n"
                                 "\r\n"
                                 "Line one\r\n"
                                 "To: whom it may concern\r\n"
                                 ".hidden dot\r\n";
inline const QByteArray kBobHead = "From: bob@example.org\r\n"
                                   "To: news@example.org\r\n"
                                   "Subject: Second\r\n"
                                   "Date: Tue, 8 Dec 2026 11:00:00 +0000\r\n"
                                   "\r\n";
inline const QByteArray kCarol = "From: carol@example.org\r\n"
                                 "To: news@example.org\r\n"
                                 "Subject: Third\r\n"
                                 "Date: Wed, 9 Dec 2026 12:00:00 +0000\r\n"
                                 "\r\n"
                                 "Body three\r\n";

inline QByteArray Bob()
{
    // A line of 600 characters reaches the client in three pieces.
    return kBobHead + "Body two\r\n" + QByteArray(300, 'x') + QByteArray(300, 'y') + "\r\n";
}

// Alice, Bob and Carol on `server`, in that order.
template <class Server>
void AddThree(Server& server)
{
    for (const QByteArray& m : {kAlice, Bob(), kCarol})
        server.AddMessage(m);
}

inline QByteArray Keyed(const QByteArray& from, const QByteArray& subject, const QByteArray& to = "news@example.org")
{
    return "From: " + from + "\r\nTo: " + to + "\r\nSubject: " + subject + "\r\nDate: Mon, 7 Dec 2026\r\n\r\nplease\r\n";
}

inline QByteArray Numbered(int n)
{
    return QStringLiteral("From: sender%1@example.org\r\nTo: news@example.org\r\nSubject: Message %1\r\n"
                          "Date: Mon, 7 Dec 2026\r\n\r\nbody %1\r\n")
        .arg(n)
        .toLatin1();
}
// The subjects of stored messages, sorted.
inline QStringList Subjects(const QList<QByteArray>& messages)
{
    QStringList out;
    for (const QByteArray& m : messages) {
        const qsizetype at = m.indexOf("Subject: ");
        out << QString::fromLatin1(m.mid(at + 9, m.indexOf("\r\n", at) - at - 9));
    }
    out.sort();
    return out;
}
} // namespace samples
