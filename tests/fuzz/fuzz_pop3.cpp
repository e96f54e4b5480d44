// Whatever a POP3 server sends, through the real socket's line splitting, across a whole
// session (greeting, USER, PASS, STAT, RETR, DELE, QUIT): no crash, no hang, every line
// handed on no longer than the socket's line limit.
// Links: quorvel_net
#include "FuzzSupport.h"
#include "ReplyServer.h"
#include "net/Pop3Client.h"
#include "net/Wait.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static fuzz::TReplyServer* server = new fuzz::TReplyServer;
    server->SetReplies(fuzz::Bytes(data, size).toByteArray());
    TWait wait;
    wait.SetInterval(20);
    TPop3Client client;
    client.SetWait(&wait);
    client.SetHost(QStringLiteral("127.0.0.1"));
    client.SetPort(server->PortText());
    client.SetTimeOut(2);
    client.SetUserName(QStringLiteral("user"));
    client.SetPassWord(QStringLiteral("secret"));
    client.SetMsgNum(1);
    int begun = 0, ended = 0;
    client.OnMessageBegin = [&](TPop3Client*) { ++begun; };
    client.OnMessageEnd = [&](TPop3Client*) { ++ended; };
    client.OnMessageLine = [&](TPop3Client* c) { FUZZ_CHECK(c->LastResponse().size() <= 254); };
    try {
        if (client.Connect() && client.User() && client.Pass() && client.Stat()) {
            FUZZ_CHECK(client.MsgCount() >= 0 && client.MsgSize() >= 0);
            if (client.Retr())
                (void)client.Dele();
        }
        (void)client.Quit();
    } catch (const ESocketException&) {
    }
    FUZZ_CHECK(ended <= begun && begun <= 1);
    return 0;
}
