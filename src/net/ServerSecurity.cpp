#include "net/ServerSecurity.h"

#include "net/PasswordStore.h"
#include "net/TlsSession.h"
#include "platform/IniFile.h"

namespace serversecurity {

TServerSecurityForm Load(const TIniFile& ini, TMailProtocol protocol, const QString& host, TPasswordStore& store)
{
    TServerSecurityForm f;
    f.Protocol = protocol;
    f.Host = host.trimmed();
    const QString section = serversettings::SectionName(protocol, f.Host);
    if (ini.SectionExists(section)) {
        // Port and Security as Load reads them, but a value that cannot be used is shown as
        // written (Port) or as the safest choice the user then confirms (Security).
        const TServerSettings s = serversettings::Load(ini, protocol, f.Host, &store);
        f.Port = s.Port > 0 ? QString::number(s.Port) : ini.ReadString(section, QStringLiteral("Port"), QString()).trimmed();
        f.Security = s.SecurityChosen ? s.Security : TMailSecurity::StartTls;
        if (!ini.ValueExists(section, QStringLiteral("Security")))
            f.Security = TMailSecurity::None;
        f.User = s.User;
        f.Password = s.Password;
        f.RememberPassword = !f.Password.isEmpty() || f.User.isEmpty();
        f.Fingerprint = s.Fingerprint;
        // Shown as written, so a value that cannot be used can be corrected here.
        const auto limit = [&](const char* key) {
            return ini.ReadString(section, QLatin1String(key), QString()).section(u';', 0, 0).trimmed();
        };
        f.MaxRecipientsPerMessage = limit("MaxRecipientsPerMessage");
        f.MaxMessagesPerHour = limit("MaxMessagesPerHour");
        f.MaxRecipientsPerDay = limit("MaxRecipientsPerDay");
    }
    const QString refused = serversettings::RefusedCertificate(f.Host);
    if (!refused.isEmpty() && !TTlsSession::SameFingerprint(refused, f.Fingerprint))
        f.RefusedFingerprint = refused;
    return f;
}

QString Validate(const TServerSecurityForm& f)
{
    if (f.Host.isEmpty())
        return QStringLiteral("There is no server name to keep settings for.");
    if (!f.Port.trimmed().isEmpty()) {
        bool ok = false;
        const int port = f.Port.trimmed().toInt(&ok);
        if (!ok || port < 1 || port > 65535)
            return QStringLiteral("The port must be a number from 1 to 65535, or empty for the usual one.");
    }
    if (f.Protocol == TMailProtocol::Smtp) {
        if (f.User.contains(u'\r') || f.User.contains(u'\n') || f.Password.contains(u'\r') || f.Password.contains(u'\n'))
            return QStringLiteral("The user name and the password may not contain line breaks.");
        if (f.User.trimmed().isEmpty() && !f.Password.isEmpty())
            return QStringLiteral("A password needs a user name.");
        for (const QString* limit : {&f.MaxRecipientsPerMessage, &f.MaxMessagesPerHour, &f.MaxRecipientsPerDay}) {
            bool ok = true;
            if (!limit->trimmed().isEmpty() && (limit->trimmed().toInt(&ok) < 0 || !ok))
                return QStringLiteral("A sending limit must be a count (empty or 0 for no limit).");
        }
    }
    return QString();
}

void Save(TIniFile& ini, const TServerSecurityForm& f, TPasswordStore& store, QString& where)
{
    where.clear();
    TServerSettings s;
    s.Host = f.Host;
    s.Port = f.Port.trimmed().toInt();
    s.Security = f.Security;
    s.SecurityChosen = true;
    const QString key = serversettings::PasswordKey(f.Protocol, f.Host);
    if (f.Protocol == TMailProtocol::Smtp) {
        s.User = f.User.trimmed();
        s.Limits.MaxRecipientsPerMessage = f.MaxRecipientsPerMessage.trimmed().toInt();
        s.Limits.MaxMessagesPerHour = f.MaxMessagesPerHour.trimmed().toInt();
        s.Limits.MaxRecipientsPerDay = f.MaxRecipientsPerDay.trimmed().toInt();
        const bool keep = f.RememberPassword && !s.User.isEmpty() && !f.Password.isEmpty();
        QString error;
        if (keep && store.Available() && store.Write(key, f.Password, error)) {
            where = QStringLiteral("keychain");
        } else {
            // Not remembered, or no keychain: nothing may stay behind in the keychain (an old
            // entry would be used instead of the password the user now left out).
            store.Remove(key);
            if (keep) {
                s.Password = f.Password;
                where = QStringLiteral("file");
            }
        }
    }
    if (f.TrustRefused && !f.RefusedFingerprint.isEmpty()) {
        s.Fingerprint = f.RefusedFingerprint;
        serversettings::ClearRefusedCertificate(f.Host);
    } else if (!f.ForgetFingerprint) {
        s.Fingerprint = f.Fingerprint;
    }
    serversettings::Save(ini, f.Protocol, s);
}

} // namespace serversecurity
