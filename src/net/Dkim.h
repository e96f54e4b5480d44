#pragma once
// DKIM signing (RFC 6376) of the messages the send job writes, and the settings that ask for it,
// kept in "Quorvel.ini" in a section named by the From address's domain:
//
//   [DKIM example.com]
//   Selector=news2026            the s= tag: the key is published at news2026._domainkey.<Domain>
//   KeyFile=keys/example.pem     PEM private key (RSA, at least 1024 bits); a relative path is
//                                taken from the program folder
//   Domain=example.com           the d= tag; absent: the section's domain (it may be a parent
//                                domain of the From domain, never another one)
//
// A message whose From domain has a section goes out signed (rsa-sha256, relaxed/relaxed), or
// not at all: a section that cannot be used, or a key that cannot be read, stops the send.
// No widgets here: the send job, the settings dialog and the tests share this.
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>

class TIniFile;

struct TDkimSettings
{
    bool Present = false;  // the From domain has a section
    QString FromDomain;    // the domain the section is named by (lower case)
    QString Domain;        // d=
    QString Selector;      // s=
    QString KeyFile;       // as it stands in the section
    QString KeyPath;       // the file it names
    QString Error;         // the section cannot be used (nothing is sent)
};

struct evp_pkey_st;

// What a signature is made with: a checked key, parsed once for all the messages of a send,
// and the tags it goes with.
struct TDkimSigner
{
    QString Domain;        // d=
    QString Selector;      // s=
    std::shared_ptr<evp_pkey_st> Key; // the RSA private key
    int KeyBits = 0;       // the key's modulus size
    QString PublicKey;     // base64 of the public key (SubjectPublicKeyInfo), the p= of the DNS record

    bool Valid() const { return Key != nullptr; }
};

namespace dkimsign {

// The headers signed when present, in this order (From always is).
const QStringList& SignedHeaders();

// "DKIM example.com".
QString SectionName(const QString& fromDomain);
// The domain of the (last) address in a From text, in lower case: "A <b@Example.COM>" ->
// "example.com"; empty when there is none.
QString AddressDomain(const QString& from);

// `baseFolder` resolves a relative KeyFile (with a trailing slash).
TDkimSettings Load(const TIniFile& ini, const QString& fromDomain, const QString& baseFolder);
// Writes the section of `settings.FromDomain` (Domain only when it differs from it).
void Save(TIniFile& ini, const TDkimSettings& settings);
// The section for the From address `from`, read from "Quorvel.ini" in the program folder.
TDkimSettings LoadFromFile(const QString& from);
// The file a KeyFile value names.
QString KeyPath(const QString& keyFile, const QString& baseFolder);
// Empty when the settings can be used; else what is wrong, for the user.
QString Validate(const TDkimSettings& settings);

// Checks a PEM private key and makes a signer of it; on failure `error` says why.
bool MakeSigner(const QByteArray& pem, const QString& domain, const QString& selector, TDkimSigner& signer,
                QString& error);
// Reads the settings' key file and makes the signer; on failure `error` names the file and why.
bool LoadSigner(const TDkimSettings& settings, TDkimSigner& signer, QString& error);

// "<selector>._domainkey.<domain>" and the TXT record to publish there.
QString DnsName(const TDkimSigner& signer);
QString DnsRecord(const TDkimSigner& signer);

// The "DKIM-Signature: ..." header (folded with CR LF, no final line break; t= is now) of the
// message made of `headers` and `body` as the SMTP client writes them: header buffers as they go out (one may
// hold several fields and folds), body lines before dot-stuffing (a line holding line breaks
// is as many lines), each as Windows-1252 bytes. Empty, with `error` set, on failure.
QString Sign(const TDkimSigner& signer, const QStringList& headers, const QStringList& body, QString* error = nullptr);

// Relaxed canonical forms (RFC 6376 3.4.2, 3.4.4): one header field (its folds included) with
// its CR LF, and a body given as CR LF lines.
QByteArray RelaxedHeader(QByteArrayView field);
QByteArray RelaxedBody(QByteArrayView body);

} // namespace dkimsign
