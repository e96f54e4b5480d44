#pragma once
// A program folder whose catalog names one list file, with its addresses, for the main
// window's tests.
#include "lists/MailListRecord.h"
#include "platform/IniFile.h"
#include "support/TestUtil.h"

#include <QDir>
#include <QStringList>

namespace onelist {

// Writes <home>/<name>/<name>.qvl holding `emails` (each also its own name) and a settings
// file naming it, with automatic saving as given. Returns the list file's path.
inline QString Write(const QString& home, const QString& name, const QStringList& emails, bool autoSave)
{
    const QString path = home + u'/' + name + u'/' + name + QStringLiteral(".qvl");
    QDir().mkpath(home + u'/' + name);
    MailListRecord h;
    h.SetText(MailListRecord::Name, name);
    h.SetText(MailListRecord::FilePath, path);
    QByteArray bytes = h.Serialize();
    for (const QString& e : emails) {
        MailListRecord a;
        a.SetText(MailListRecord::Name, e.section(u'@', 0, 0));
        a.SetText(MailListRecord::Email, e);
        bytes += a.Serialize();
    }
    testutil::writeAll(path, bytes);
    TIniFile ini(home + QStringLiteral("/Quorvel.ini"));
    ini.WriteInteger("Mail Lists", "Count", 1);
    ini.WriteString("Mail Lists", "List0", path);
    ini.WriteBool("User Settings", "Auto Save", autoSave);
    ini.UpdateFile();
    return path;
}

} // namespace onelist
