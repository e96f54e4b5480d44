#pragma once
// `GeneralSettings`: sender, servers, credentials and header/footer/signature files used when
// no mail list applies. Texts are cut to their capacities when set.
#include <QString>

struct TGeneralSettings
{
    static constexpr int kShort = 100;
    static constexpr int kLong = 255;

    QString User;        // sender name
    QString Email;       // sender e-mail address
    QString SMTP;
    QString POP;
    QString Username;
    QString Password;    // plain in memory
    QString HeaderFile;
    QString FooterFile;
    QString SigFile;
    bool IncludeHeader = false;
    bool IncludeFooter = false;
    bool IncludeSig = false;
    bool SaveLetters = false;
    bool SendFormatted = false; // HTML with a text part (the address page, or no list)

    // Cuts every text to its capacity (in 8-bit characters).
    void Normalise();
    bool operator==(const TGeneralSettings&) const = default;
};
