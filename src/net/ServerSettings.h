#pragma once
// Per-server connection settings of the mail clients, kept in "Quorvel.ini" in a section named
// by the server text exactly as it stands in the list's or the general SMTP/POP field:
//
//   [SMTP smtp.example.com]      [POP pop.example.com]
//   Port=587                     Port=995
//   Security=STARTTLS            Security=TLS
//   User=alice@example.com       (POP takes its user and password from the list as before)
//   Password=<scrambled>         (absent when the desktop keychain holds it)
//
// A server without a section keeps the plain dialogue (HELO, no TLS, port "smtp"/"pop3").
// No widgets here: the clients and the settings dialog share this type.
#include <QString>

class TIniFile;
class TPasswordStore;

enum class TMailProtocol { Smtp, Pop3 };
enum class TMailSecurity { None, StartTls, Tls };

// A provider's published limits for one server (0: none). The send job splits and waits by
// them; the clients themselves ignore them.
struct TSendLimits
{
    int MaxRecipientsPerMessage = 0;
    int MaxMessagesPerHour = 0;
    int MaxRecipientsPerDay = 0;
    bool Any() const { return MaxRecipientsPerMessage > 0 || MaxMessagesPerHour > 0 || MaxRecipientsPerDay > 0; }
};

struct TServerSettings
{
    bool Present = false;      // the server has a section of its own
    QString Host;              // the server text the section is named by
    int Port = 0;              // 0: the usual port for the protocol and the security
    TMailSecurity Security = TMailSecurity::None;
    bool SecurityChosen = false; // "Security=" stands in the section (None chosen explicitly
                                 // allows a password without TLS)
    QString User;
    QString Password;          // plain in memory, scrambled in the file or in the keychain
    bool PasswordInKeychain = false; // read from the keychain, not from the section
    QString Fingerprint;       // SHA-256 of a certificate the user chose to trust (hex)
    TSendLimits Limits;        // MaxRecipientsPerMessage, MaxMessagesPerHour, MaxRecipientsPerDay
    QString Error;             // a value in the section that cannot be used (nothing is sent)

    // The port to connect to, as the socket takes it: a number, or the service name of the
    // plain protocol.
    QString PortText(TMailProtocol protocol) const;
    // True when the section chose "None" itself: only then may a password go out unencrypted.
    bool PasswordAllowedInClear() const { return SecurityChosen && Security == TMailSecurity::None; }
};

namespace serversettings {

// "SMTP host" / "POP host".
QString SectionName(TMailProtocol protocol, const QString& host);
// "None", "STARTTLS", "TLS".
QString SecurityText(TMailSecurity security);
// Case-insensitive; "STLS" is read as STARTTLS. False for anything else.
bool ParseSecurity(const QString& text, TMailSecurity& security);

// With no Password in the section and a User set, the password is asked of `store` (null: the
// default store, the keychain).
TServerSettings Load(const TIniFile& ini, TMailProtocol protocol, const QString& host, TPasswordStore* store = nullptr);
// Writes the section of `settings.Host` (Port only when set; Password only when not empty).
void Save(TIniFile& ini, TMailProtocol protocol, const TServerSettings& settings);
// Only the sending limits of an SMTP server's section (no password is asked for); a value that
// is no count from 0 up sets `error`.
TSendLimits LoadLimits(const TIniFile& ini, const QString& host, QString* error);
// Reads the section from "Quorvel.ini" in the program folder.
TServerSettings LoadFromFile(TMailProtocol protocol, const QString& host);

// The keychain entry of a server's password: the section name in lower case (sections match
// without regard to case).
QString PasswordKey(TMailProtocol protocol, const QString& host);

// The fingerprint of the certificate last refused as untrusted for `host` in this run (empty:
// none), so the settings dialog can offer to trust exactly that one. Hosts without regard to case.
void NoteRefusedCertificate(const QString& host, const QString& fingerprint);
QString RefusedCertificate(const QString& host);
void ClearRefusedCertificate(const QString& host);

} // namespace serversettings
