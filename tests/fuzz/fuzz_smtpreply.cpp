// Whatever an SMTP server sends, through the real socket's line splitting, across a whole
// message (greeting, HELO, MAIL FROM, two RCPT TO, DATA, the message, QUIT): no crash, no
// hang, and the error text always set when the message failed.
// Links: quorvel_net
#include "FuzzSupport.h"
#include "ReplyServer.h"
#include "net/SmtpClient.h"
#include "net/Wait.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static fuzz::TReplyServer* server = new fuzz::TReplyServer;
    server->SetReplies(fuzz::Bytes(data, size).toByteArray());
    TWait wait;
    wait.SetInterval(20);
    TSmtpClient client;
    client.SetWait(&wait);
    client.SetHost(QStringLiteral("127.0.0.1"));
    client.SetPort(server->PortText());
    client.SetTimeOut(2);
    client.SetSignOn(QStringLiteral("client.example"));
    client.SetFromName(QStringLiteral("news@example.com"));
    client.SetHdrFrom(QStringLiteral("News <news@example.com>"));
    client.SetHdrTo(QStringLiteral("Readers <news@example.com>"));
    client.SetHdrSubject(QStringLiteral("Newsletter"));
    client.RcptName() << QStringLiteral("a@example.org") << QStringLiteral("b@example.org");
    client.SetRcptPause(0);
    client.OnGetData = [](TCustomSmtpClient*, int n, QString& line, int, bool& more) {
        if (n > 2)
            more = false;
        else
            line = QStringLiteral("line %1").arg(n);
    };
    try {
        if (client.Connect()) {
            if (!client.Mail())
                FUZZ_CHECK(!client.ErrorMessage().isEmpty());
        }
        (void)client.Quit();
    } catch (const ESocketException&) {
    }
    return 0;
}
