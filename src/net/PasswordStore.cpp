#include "net/PasswordStore.h"

#include "net/Countdown.h"

#include <QFileInfo>
#include <qt6keychain/keychain.h>

namespace {
const QString kService = QStringLiteral("Quorvel");
constexpr int kJobWaitMs = 5000;

// Runs a keychain job to its end (or the time limit); the job deletes itself afterwards. A
// job that ends after the limit finds nobody listening (its connection dies with the loop).
QKeychain::Error Run(QKeychain::Job* job, QString* errorText = nullptr, QString* readData = nullptr)
{
    TCountdown wait(kJobWaitMs);
    bool finished = false;
    QKeychain::Error result = QKeychain::OtherError;
    QString text = QStringLiteral("the keychain did not answer");
    const auto connection = QObject::connect(job, &QKeychain::Job::finished, [&](QKeychain::Job* j) {
        finished = true;
        result = j->error();
        text = j->errorString();
        if (auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(j); read && readData && result == QKeychain::NoError)
            *readData = read->textData();
        wait.End();
    });
    job->setAutoDelete(true);
    job->start();
    if (!finished)
        wait.Run();
    QObject::disconnect(connection);
    if (errorText)
        *errorText = text;
    return result;
}

// Without a session bus the keychain cannot answer; asking would only wait (or start a bus).
bool SessionBusKnown()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus"));
}

TPasswordStore* g_store = nullptr;
} // namespace

bool TKeychainStore::Available()
{
    if (m_available < 0) {
        m_available = 0;
        if (SessionBusKnown()) {
            auto* job = new QKeychain::ReadPasswordJob(kService);
            job->setKey(QStringLiteral("probe"));
            const QKeychain::Error e = Run(job);
            m_available = e == QKeychain::NoError || e == QKeychain::EntryNotFound;
        }
    }
    return m_available == 1;
}

bool TKeychainStore::Write(const QString& key, const QString& password, QString& error)
{
    if (!Available()) {
        error = QStringLiteral("no keychain answers");
        return false;
    }
    auto* job = new QKeychain::WritePasswordJob(kService);
    job->setKey(key);
    job->setTextData(password);
    return Run(job, &error) == QKeychain::NoError;
}

QString TKeychainStore::Read(const QString& key)
{
    if (!Available())
        return QString();
    auto* job = new QKeychain::ReadPasswordJob(kService);
    job->setKey(key);
    QString password;
    Run(job, nullptr, &password);
    return password;
}

void TKeychainStore::Remove(const QString& key)
{
    if (!Available())
        return;
    auto* job = new QKeychain::DeletePasswordJob(kService);
    job->setKey(key);
    Run(job);
}

namespace passwordstore {
TPasswordStore& Default()
{
    static TKeychainStore keychain;
    return g_store ? *g_store : keychain;
}

void SetDefault(TPasswordStore* store)
{
    g_store = store;
}
} // namespace passwordstore
