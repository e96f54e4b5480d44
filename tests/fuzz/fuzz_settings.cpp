// "Quorvel.ini" with any bytes: what was read saves and reads back the same (a colour the
// file lacked is written as the default; a CR inside a value is written as a blank, so it can
// never start a line; the password, whose scrambled form may hold CR or LF, comes back exactly).
#include "FuzzSupport.h"
#include "app/SettingsFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = fuzz::WriteScratch(QStringLiteral("Quorvel.ini"), fuzz::Bytes(data, size));
    TSettingsData read = settingsfile::Load(path);
    QString error;
    FUZZ_CHECK(settingsfile::Save(path, read, &error));
    const TSettingsData again = settingsfile::Load(path);
    for (QString* text : {&read.General.User, &read.General.Email, &read.General.SMTP, &read.General.POP,
                          &read.General.Username, &read.General.HeaderFile,
                          &read.General.FooterFile, &read.General.SigFile})
        text->replace(u'\r', u' ');
    for (QString& p : read.ListPaths)
        p.replace(u'\r', u' ');
    FUZZ_CHECK(again.General == read.General);
    FUZZ_CHECK(again.Timeout == read.Timeout && (!read.Color || again.Color == read.Color));
    FUZZ_CHECK(again.Hints == read.Hints && again.Sounds == read.Sounds && again.AutoSave == read.AutoSave);
    FUZZ_CHECK(again.ListPaths == read.ListPaths);
    FUZZ_CHECK(again.DigestFont == read.DigestFont);
    return 0;
}
