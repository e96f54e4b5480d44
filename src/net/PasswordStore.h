#pragma once
// Where server passwords are kept when the user asks to remember them: the desktop keychain
// (a Secret Service on the session bus, through QtKeychain) when one answers, else the
// server's section of "Quorvel.ini", scrambled. The store sits behind this interface so the
// clients, the dialog and the tests need no real Secret Service.
#include <QString>

class TPasswordStore
{
public:
    virtual ~TPasswordStore() = default;
    // True when the keychain answers; asked once, then remembered.
    virtual bool Available() = 0;
    // False with `error` set when the password could not be stored.
    virtual bool Write(const QString& key, const QString& password, QString& error) = 0;
    // The password stored under `key`; empty when there is none or the keychain does not answer.
    virtual QString Read(const QString& key) = 0;
    virtual void Remove(const QString& key) = 0;
};

// The desktop keychain, service "Quorvel". Each call waits for its job (at most a few
// seconds, with the event loop turning), so a keychain that hangs cannot freeze a send.
class TKeychainStore : public TPasswordStore
{
public:
    bool Available() override;
    bool Write(const QString& key, const QString& password, QString& error) override;
    QString Read(const QString& key) override;
    void Remove(const QString& key) override;

private:
    int m_available = -1; // unknown
};

namespace passwordstore {
// The store the clients and the dialog use: the keychain unless replaced (tests).
TPasswordStore& Default();
// Replaces the default store; null restores the keychain.
void SetDefault(TPasswordStore* store);
} // namespace passwordstore
