#pragma once
// A password store for tests: a keychain that answers or not, and one whose writes fail.
#include "net/PasswordStore.h"

#include <QHash>

class TFakePasswordStore : public TPasswordStore
{
public:
    bool available = true;
    bool writeFails = false;
    QHash<QString, QString> entries;

    bool Available() override { return available; }
    bool Write(const QString& key, const QString& password, QString& error) override
    {
        if (!available || writeFails) {
            error = QStringLiteral("refused");
            return false;
        }
        entries.insert(key, password);
        return true;
    }
    QString Read(const QString& key) override { return available ? entries.value(key) : QString(); }
    void Remove(const QString& key) override
    {
        if (available)
            entries.remove(key);
    }
};

// Makes a store the default for the clients and the dialog while it lives.
class TDefaultStoreScope
{
public:
    explicit TDefaultStoreScope(TPasswordStore& store) { passwordstore::SetDefault(&store); }
    ~TDefaultStoreScope() { passwordstore::SetDefault(nullptr); }
    TDefaultStoreScope(const TDefaultStoreScope&) = delete;
    TDefaultStoreScope& operator=(const TDefaultStoreScope&) = delete;
};
