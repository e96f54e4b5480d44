// Protocol, port and address of a socket: names resolved through the system's databases, with
// a built-in table for minimal systems that lack /etc/services or /etc/protocols.
#include "net/WSocket.h"
#include "net/Wait.h"

#include "net/Reply.h"

#include <QHostInfo>

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

namespace {

// Service and protocol names for systems without /etc/services or /etc/protocols.
int FallbackService(const QByteArray& name)
{
    static const std::pair<const char*, int> table[] = {
        {"echo", 7},    {"discard", 9}, {"daytime", 13}, {"ftp-data", 20}, {"ftp", 21},
        {"ssh", 22},    {"telnet", 23}, {"smtp", 25},    {"domain", 53},   {"http", 80},
        {"pop3", 110},  {"nntp", 119},  {"ntp", 123},    {"imap", 143},    {"imap2", 143},
        {"snmp", 161},  {"https", 443}, {"submission", 587}, {"imaps", 993}, {"pop3s", 995}};
    for (const auto& [n, port] : table)
        if (name.compare(n, Qt::CaseInsensitive) == 0)
            return port;
    return -1;
}

int FallbackProtocol(const QByteArray& name)
{
    static const std::pair<const char*, int> table[] = {{"ip", 0}, {"icmp", 1}, {"tcp", 6}, {"udp", 17}};
    for (const auto& [n, proto] : table)
        if (name.compare(n, Qt::CaseInsensitive) == 0)
            return proto;
    return -1;
}

// Leading decimal digits (after blanks), as the platform's atoi reads them.
int LeadingNumber(const QString& text)
{
    qsizetype pos = 0;
    return std::max(reply::Number(text, pos), 0);
}

} // namespace

void TCustomWSocket::SetProto(const QString& proto)
{
    if (m_protoAssigned && proto == m_protoStr)
        return;
    m_protoStr = proto;
    if (m_state != wsClosed) {
        RaiseSocketException(QStringLiteral("Cannot change Proto if not closed"));
        return;
    }
    const QString t = proto.trimmed();
    if (t.isEmpty()) {
        m_protoAssigned = false;
        RaiseSocketException(QStringLiteral("SetProto: Proto is empty"));
        return;
    }
    m_protoAssigned = true;
    if (t[0].isDigit()) {
        m_proto = LeadingNumber(t);
    } else {
        const QByteArray name = t.toLatin1();
        const protoent* pe = getprotobyname(name.constData());
        const int number = pe ? pe->p_proto : FallbackProtocol(name);
        if (number < 0) {
            m_protoAssigned = false;
            SetPlatformError(wsa::NO_DATA_);
            SocketError(QStringLiteral("SetProto: Cannot convert protocol '") + t + u'\'');
            return;
        }
        m_proto = number;
    }
    m_type = m_proto == IPPROTO_UDP ? 2 : 1;
}

void TCustomWSocket::SetPort(const QString& port)
{
    if (m_portAssigned && port == m_portStr)
        return;
    m_portStr = port;
    if (m_state != wsClosed) {
        RaiseSocketException(QStringLiteral("Cannot change Port if not closed"));
        return;
    }
    const QString t = port.trimmed();
    if (t.isEmpty()) {
        m_portAssigned = false;
        RaiseSocketException(QStringLiteral("SetPort: Port is empty"));
        return;
    }
    m_portAssigned = true;
    int number;
    if (t[0].isDigit()) {
        number = LeadingNumber(t) & 0xFFFF;
    } else {
        const QByteArray name = t.toLatin1();
        const QByteArray proto = m_protoStr.trimmed().toLatin1();
        const servent* se = getservbyname(name.constData(), proto.isEmpty() ? nullptr : proto.constData());
        number = se ? ntohs(quint16(se->s_port)) : FallbackService(name);
        if (number < 0) {
            m_portAssigned = false;
            SetPlatformError(wsa::NO_DATA_);
            SocketError(QStringLiteral("SetPort: Cannot convert port '") + t + u'\'');
            return;
        }
    }
    m_sin.sin_port = htons(quint16(number));
    m_portNum = number;
}

bool TCustomWSocket::ResolveHost(const QString& host, in_addr& out, bool& isBroadcast)
{
    isBroadcast = false;
    if (host == QLatin1String("255.255.255.255")) {
        out.s_addr = INADDR_BROADCAST;
        isBroadcast = true;
        return true;
    }
    const QByteArray name = host.toLatin1();
    if (!name.isEmpty() && inet_aton(name.constData(), &out) != 0)
        return true;
    if (name.isEmpty())
        return false;
    addrinfo hints {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* res = nullptr;
    if (getaddrinfo(name.constData(), nullptr, &hints, &res) != 0 || !res)
        return false;
    out = reinterpret_cast<sockaddr_in*>(res->ai_addr)->sin_addr;
    freeaddrinfo(res);
    return true;
}

void TCustomWSocket::SetAddr(const QString& addr)
{
    if (m_addrAssigned && addr == m_addrStr)
        return;
    m_addrStr = addr;
    if (m_state != wsClosed) {
        RaiseSocketException(QStringLiteral("Cannot change Addr if not closed"));
        return;
    }
    m_addrAssigned = false;
    const QString t = addr.trimmed();
    in_addr a {};
    bool broadcast = false;
    if (!ResolveHost(t, a, broadcast))
        throw ESocketException(QStringLiteral("SetAddr: Cannot convert host address '%1'").arg(t));
    m_sin.sin_addr = a;
    m_addrAssigned = true;
}
