#include "net/ServerSettings.h"

#include "net/PasswordStore.h"

#include "platform/Scramble.h"
#include "platform/Cp1252.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"

#include <QHash>

namespace {
const QString kPort = QStringLiteral("Port");
const QString kSecurity = QStringLiteral("Security");
const QString kUser = QStringLiteral("User");
const QString kPassword = QStringLiteral("Password");
const QString kFingerprint = QStringLiteral("Fingerprint");
const QString kMaxRecipientsPerMessage = QStringLiteral("MaxRecipientsPerMessage");
const QString kMaxMessagesPerHour = QStringLiteral("MaxMessagesPerHour");
const QString kMaxRecipientsPerDay = QStringLiteral("MaxRecipientsPerDay");

// Port and Security may carry a comment after the value ("Security=STARTTLS  ; None, STARTTLS
// or TLS"): a blank then ";" starts it. Their valid values never hold ";"; other keys (a
// password, a user name) are read whole.
QString WithoutComment(const QString& value)
{
    for (qsizetype i = 1; i < value.size(); ++i)
        if (value[i] == u';' && (value[i - 1] == u' ' || value[i - 1] == u'\t'))
            return value.left(i).trimmed();
    return value.trimmed();
}
} // namespace

QString TServerSettings::PortText(TMailProtocol protocol) const
{
    if (Port > 0)
        return QString::number(Port);
    const bool smtp = protocol == TMailProtocol::Smtp;
    switch (Security) {
    case TMailSecurity::Tls:
        return smtp ? QStringLiteral("465") : QStringLiteral("995");
    case TMailSecurity::StartTls:
        return smtp ? QStringLiteral("587") : QStringLiteral("pop3");
    case TMailSecurity::None:
        break;
    }
    return smtp ? QStringLiteral("smtp") : QStringLiteral("pop3");
}

namespace serversettings {

QString SectionName(TMailProtocol protocol, const QString& host)
{
    return (protocol == TMailProtocol::Smtp ? QStringLiteral("SMTP ") : QStringLiteral("POP ")) + host;
}

QString SecurityText(TMailSecurity security)
{
    switch (security) {
    case TMailSecurity::StartTls:
        return QStringLiteral("STARTTLS");
    case TMailSecurity::Tls:
        return QStringLiteral("TLS");
    case TMailSecurity::None:
        break;
    }
    return QStringLiteral("None");
}

bool ParseSecurity(const QString& text, TMailSecurity& security)
{
    const QString t = text.trimmed();
    if (t.compare(QLatin1String("None"), Qt::CaseInsensitive) == 0)
        security = TMailSecurity::None;
    else if (t.compare(QLatin1String("STARTTLS"), Qt::CaseInsensitive) == 0
             || t.compare(QLatin1String("STLS"), Qt::CaseInsensitive) == 0)
        security = TMailSecurity::StartTls;
    else if (t.compare(QLatin1String("TLS"), Qt::CaseInsensitive) == 0
             || t.compare(QLatin1String("SSL"), Qt::CaseInsensitive) == 0)
        security = TMailSecurity::Tls;
    else
        return false;
    return true;
}

TServerSettings Load(const TIniFile& ini, TMailProtocol protocol, const QString& host, TPasswordStore* store)
{
    TServerSettings s;
    s.Host = host;
    const QString section = SectionName(protocol, host);
    if (host.trimmed().isEmpty() || !ini.SectionExists(section))
        return s;
    s.Present = true;
    // A value that cannot be used stops the connection: a mistyped "Security=STARTLS" must not
    // quietly become a connection in clear.
    if (ini.ValueExists(section, kPort)) {
        const QString text = WithoutComment(ini.ReadString(section, kPort, QString()));
        int port = 0;
        if (!text.isEmpty() && (!TIniFile::ParseInteger(text, &port) || port < 1 || port > 65535))
            s.Error = QStringLiteral("Invalid Port '%1' in [%2]").arg(text, section);
        else
            s.Port = port;
    }
    if (ini.ValueExists(section, kSecurity)) {
        const QString text = WithoutComment(ini.ReadString(section, kSecurity, QString()));
        if (ParseSecurity(text, s.Security))
            s.SecurityChosen = true;
        else if (s.Error.isEmpty())
            s.Error = QStringLiteral("Invalid Security '%1' in [%2] (None, STARTTLS or TLS)").arg(text, section);
    }
    s.User = ini.ReadString(section, kUser, QString());
    if (ini.ValueExists(section, kPassword)) {
        s.Password = cp1252::decode(scramble::Unscramble(cp1252::encode(ini.ReadString(section, kPassword, QString()))));
    } else if (!s.User.isEmpty()) {
        s.Password = (store ? *store : passwordstore::Default()).Read(PasswordKey(protocol, host));
        s.PasswordInKeychain = !s.Password.isEmpty();
    }
    s.Fingerprint = ini.ReadString(section, kFingerprint, QString());
    if (protocol == TMailProtocol::Smtp) {
        QString error;
        s.Limits = LoadLimits(ini, host, &error);
        if (s.Error.isEmpty())
            s.Error = error;
    }
    return s;
}

TSendLimits LoadLimits(const TIniFile& ini, const QString& host, QString* error)
{
    TSendLimits l;
    const QString section = SectionName(TMailProtocol::Smtp, host);
    if (host.trimmed().isEmpty() || !ini.SectionExists(section))
        return l;
    // A limit the program cannot read must not become no limit: the provider would block the
    // account for the day.
    const auto read = [&](const QString& key, int& into) {
        if (!ini.ValueExists(section, key))
            return;
        const QString text = WithoutComment(ini.ReadString(section, key, QString()));
        int n = 0;
        if (text.isEmpty() || (TIniFile::ParseInteger(text, &n) && n >= 0))
            into = n;
        else if (error && error->isEmpty())
            *error = QStringLiteral("Invalid %1 '%2' in [%3] (a count, 0 for no limit)").arg(key, text, section);
    };
    read(kMaxRecipientsPerMessage, l.MaxRecipientsPerMessage);
    read(kMaxMessagesPerHour, l.MaxMessagesPerHour);
    read(kMaxRecipientsPerDay, l.MaxRecipientsPerDay);
    return l;
}

void Save(TIniFile& ini, TMailProtocol protocol, const TServerSettings& settings)
{
    const QString section = SectionName(protocol, settings.Host);
    ini.EraseSection(section);
    if (settings.Port > 0)
        ini.WriteInteger(section, kPort, settings.Port);
    ini.WriteString(section, kSecurity, SecurityText(settings.Security));
    if (!settings.User.isEmpty())
        ini.WriteString(section, kUser, settings.User);
    if (!settings.Password.isEmpty()) {
        ini.WriteString(section, kPassword, cp1252::decode(scramble::Scramble(cp1252::encode(settings.Password))));
        ini.SetOwnerOnly(true);
    }
    if (!settings.Fingerprint.isEmpty())
        ini.WriteString(section, kFingerprint, settings.Fingerprint);
    const TSendLimits& l = settings.Limits;
    if (l.MaxRecipientsPerMessage > 0)
        ini.WriteInteger(section, kMaxRecipientsPerMessage, l.MaxRecipientsPerMessage);
    if (l.MaxMessagesPerHour > 0)
        ini.WriteInteger(section, kMaxMessagesPerHour, l.MaxMessagesPerHour);
    if (l.MaxRecipientsPerDay > 0)
        ini.WriteInteger(section, kMaxRecipientsPerDay, l.MaxRecipientsPerDay);
}

TServerSettings LoadFromFile(TMailProtocol protocol, const QString& host)
{
    const TIniFile ini(ProgramFolder() + QStringLiteral("Quorvel.ini"));
    return Load(ini, protocol, host);
}

QString PasswordKey(TMailProtocol protocol, const QString& host)
{
    return SectionName(protocol, host).toLower();
}

namespace {
QHash<QString, QString>& Refused()
{
    static QHash<QString, QString> refused;
    return refused;
}
} // namespace

void NoteRefusedCertificate(const QString& host, const QString& fingerprint)
{
    Refused().insert(host.toLower(), fingerprint);
}

QString RefusedCertificate(const QString& host)
{
    return Refused().value(host.toLower());
}

void ClearRefusedCertificate(const QString& host)
{
    Refused().remove(host.toLower());
}

} // namespace serversettings
