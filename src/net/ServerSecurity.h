#pragma once
// What the "Server security..." dialog edits, without widgets: one server's section loaded into
// a form, checked, and written back (the password to the keychain or, failing that, scrambled
// into the section; nothing at all when it is not to be remembered).
#include "net/ServerSettings.h"

class TIniFile;
class TPasswordStore;

struct TServerSecurityForm
{
    TMailProtocol Protocol = TMailProtocol::Smtp;
    QString Host;
    QString Port;                  // empty: the usual port for the security
    TMailSecurity Security = TMailSecurity::None;
    QString User;                  // SMTP only: POP logs in with the list's user and password
    QString Password;
    bool RememberPassword = true;
    QString Fingerprint;           // the certificate trusted by hand, as stored
    bool ForgetFingerprint = false; // Save drops Fingerprint
    QString RefusedFingerprint;    // the certificate last refused for this host, if not trusted yet
    bool TrustRefused = false;     // only a tick by the user trusts it
    // SMTP only: the provider's sending limits as typed (empty: none).
    QString MaxRecipientsPerMessage;
    QString MaxMessagesPerHour;
    QString MaxRecipientsPerDay;
};

namespace serversecurity {

// The section of `host` as the form shows it (an absent section gives the defaults).
TServerSecurityForm Load(const TIniFile& ini, TMailProtocol protocol, const QString& host, TPasswordStore& store);
// Empty when the form can be saved; else what is wrong, for the user.
QString Validate(const TServerSecurityForm& form);
// Writes the section (the form must validate). `where` tells where the password went:
// "keychain", "file" or "" (not remembered / none).
void Save(TIniFile& ini, const TServerSecurityForm& form, TPasswordStore& store, QString& where);

} // namespace serversecurity
