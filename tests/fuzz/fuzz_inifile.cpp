// The profile-file reader on any bytes: every value read writes back and reads back the same
// (a CR inside a value is written as a blank, so it can never start a line), and a new key
// lands.
// Links: quorvel_platform
#include "FuzzSupport.h"
#include "platform/IniFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = fuzz::WriteScratch(QStringLiteral("profile.ini"), fuzz::Bytes(data, size));
    QList<std::tuple<QString, QString, QString>> values;
    {
        TIniFile ini(path);
        ini.WriteString(QStringLiteral("Fuzz"), QStringLiteral("Added"), QStringLiteral("1"));
        for (const QString& section : ini.SectionNames())
            for (const QString& key : ini.ReadSection(section))
                values.append({section, key, ini.ReadString(section, key, QString())});
        for (auto& v : values)
            std::get<2>(v).replace(u'\r', u' ');
        for (const auto& [section, key, value] : values) {
            ini.WriteString(section, key, value);
            (void)ini.ReadInteger(section, key, 0);
        }
        FUZZ_CHECK(ini.UpdateFile());
    }
    TIniFile again(path);
    for (const auto& [section, key, value] : values)
        FUZZ_CHECK(again.ReadString(section, key, QStringLiteral("\x01missing")) == value);
    FUZZ_CHECK(again.ReadString(QStringLiteral("Fuzz"), QStringLiteral("Added"), QString()) == QStringLiteral("1"));
    return 0;
}
