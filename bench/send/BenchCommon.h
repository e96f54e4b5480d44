#pragma once
// A program folder with one list of `count` subscribers, shared by the send benchmarks.
#include "app/SettingsFile.h"
#include "lists/AddressList.h"
#include "lists/ListFile.h"

#include <QDir>
#include <QTemporaryDir>

#include <cstdio>

inline bool MakeBenchList(const QTemporaryDir& home, int count, const QString& smtp, QString* path)
{
    QDir().mkpath(home.filePath(QStringLiteral("Big/Sent Mail")));
    *path = home.filePath(QStringLiteral("Big/Big.qvl"));
    MailListRecord h;
    h.SetText(MailListRecord::Name, QStringLiteral("Big"));
    h.SetText(MailListRecord::Reply, QStringLiteral("news@example.com"));
    h.SetText(MailListRecord::ToAddress, QStringLiteral("readers@example.com"));
    h.SetText(MailListRecord::SmtpServer, smtp);
    h.SetText(MailListRecord::FilePath, *path);
    TAddressList entries;
    for (int i = 0; i < count; ++i) {
        auto e = std::make_unique<MailListRecord>();
        e->SetText(MailListRecord::Name, QStringLiteral("Subscriber %1").arg(i, 6, 10, QLatin1Char('0')));
        e->SetText(MailListRecord::Email, QStringLiteral("reader%1@example.org").arg(i));
        entries.Append(std::move(e));
    }
    QString error;
    if (!listfile::Write(*path, h, entries, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return false;
    }
    TSettingsData d;
    d.ListPaths << *path;
    return settingsfile::Save(settingsfile::FileName(), d, &error);
}
