#pragma once
// An SMTP client for the tests' servers: its own wait object, no pause before every hundredth
// recipient, every line it shows kept, the message lines taken from `body`. A test's fixture
// derives from it and names its server, sender and headers. Header only: the tests that use
// it link the network library.
#include "net/SmtpClient.h"
#include "net/Wait.h"

#include <QStringList>

struct TSmtpFixture
{
    TWait wait;
    TSmtpClient client;
    QStringList display; // every line the client showed
    QStringList body;    // the message lines handed over on request

    // `secondMs`: how long a second of the wait's countdown lasts (tests shorten it).
    explicit TSmtpFixture(int secondMs = 1000)
    {
        wait.SetInterval(quint16(secondMs));
        client.SetWait(&wait);
        client.SetHost(QStringLiteral("127.0.0.1"));
        client.SetRcptPause(0);
        client.OnDisplay = [this](TCustomSmtpClient*, const QString& m) { display << m; };
        client.OnGetData = [this](TCustomSmtpClient*, int n, QString& line, int, bool& more) {
            if (n > body.size())
                more = false;
            else
                line = body[n - 1];
        };
    }
    TSmtpFixture(const TSmtpFixture&) = delete;
    TSmtpFixture& operator=(const TSmtpFixture&) = delete;
};
