#include "lists/CsvFile.h"

#include "lists/AddressList.h"
#include "platform/Cp1252.h"
#include "platform/TextFile.h"

#include <QHash>

#include <algorithm>

namespace csvfile {

namespace {
constexpr MailListRecord::Field kField[kColumns] = {MailListRecord::Name, MailListRecord::Email,
                                                    MailListRecord::Street1, MailListRecord::Street2,
                                                    MailListRecord::Phone};
constexpr int kSampleRows = 20;
constexpr int kReasonsKept = 20;

// "E-Mail-Adresse" -> "emailadresse": lower case, accents and punctuation gone.
QString normalName(const QString& s)
{
    const QString d = s.normalized(QString::NormalizationForm_D);
    QString out;
    for (QChar c : d) {
        if (c.isLetterOrNumber() && !c.isMark())
            out += c.toLower();
    }
    out.replace(QStringLiteral("ß"), QStringLiteral("ss"));
    return out;
}

const QHash<QString, Column>& knownNames()
{
    static const QHash<QString, Column> names = [] {
        QHash<QString, Column> h;
        const auto add = [&h](Column c, std::initializer_list<const char*> list) {
            for (const char* n : list)
                h.insert(normalName(QString::fromUtf8(n)), c);
        };
        add(cName, {"name", "full name", "display name", "contact", "nom", "nom complet", "nombre",
                    "nombre completo", "vollständiger name", "kontakt"});
        add(cEmail, {"e-mail", "email address", "e-mail address", "mail", "mail address", "e-mail-adresse",
                     "mailadresse", "adresse e-mail", "adresse électronique", "courriel", "correo",
                     "correo electrónico", "dirección de correo", "email"});
        add(cStreet1, {"address", "address 1", "address line 1", "street", "street address", "street address 1", "street 1",
                       "adresse", "adresse 1", "straße", "strasse", "anschrift", "rue", "dirección",
                       "dirección 1", "domicilio", "calle"});
        add(cStreet2, {"address 2", "address line 2", "street 2", "street address 2", "adresse 2",
                       "adresszusatz", "complément d'adresse", "dirección 2"});
        add(cPhone, {"phone", "phone number", "telephone", "tel", "mobile", "telefon", "telefonnummer", "handy",
                     "téléphone", "portable", "teléfono", "móvil"});
        return h;
    }();
    return names;
}

bool isStorable(const QString& text)
{
    return cp1252::decode(cp1252::encode(text)) == text;
}

// A line break inside a field (a cell of several lines) would break the list's one-line
// display: it becomes one blank. Everything else is kept as it stands, so a round trip holds.
QString oneLine(const QString& s)
{
    if (!s.contains(u'\r') && !s.contains(u'\n'))
        return s;
    QString out = s;
    out.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    out.replace(u'\r', u' ');
    out.replace(u'\n', u' ');
    return out;
}

void appendField(QString& out, const QString& field)
{
    const bool quote = field.contains(u',') || field.contains(u'"') || field.contains(u'\r')
                       || field.contains(u'\n') || field.contains(u';') || field.contains(u'\t')
                       || (!field.isEmpty() && (field.front().isSpace() || field.back().isSpace()));
    if (!quote) {
        out += field;
        return;
    }
    out += u'"';
    for (QChar c : field) {
        if (c == u'"')
            out += u'"';
        out += c;
    }
    out += u'"';
}
} // namespace

const QStringList& ColumnCaptions()
{
    static const QStringList captions = {QStringLiteral("Name"), QStringLiteral("E-mail"),
                                         QStringLiteral("Street address 1"), QStringLiteral("Street address 2"),
                                         QStringLiteral("Phone")};
    return captions;
}

QChar DetectSeparator(QStringView text)
{
    const QChar candidates[] = {u',', u';', u'\t'};
    QChar best = u',';
    int bestScore = -1;
    for (QChar sep : candidates) {
        // Count fields per line (outside quotes) over the first lines.
        QList<int> counts;
        int fields = 1;
        bool quoted = false;
        bool any = false;
        for (qsizetype i = 0; i < text.size() && counts.size() < kSampleRows; ++i) {
            const QChar c = text[i];
            if (c == u'"') {
                quoted = !quoted;
            } else if (!quoted && c == sep) {
                ++fields;
                any = true;
            } else if (!quoted && (c == u'\n' || c == u'\r')) {
                if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                    ++i;
                counts << fields;
                fields = 1;
            }
        }
        if (fields > 1 || counts.isEmpty())
            counts << fields;
        if (!any)
            continue;
        // Lines agreeing with the first line's count, weighted by how many fields they give.
        const int agree = int(std::count(counts.begin(), counts.end(), counts.first()));
        const int score = agree * 1000 + counts.first();
        if (score > bestScore) {
            bestScore = score;
            best = sep;
        }
    }
    return best;
}

QList<QStringList> Parse(QStringView text, QChar separator)
{
    QList<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false;
    bool fieldStarted = false;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"') {
                if (i + 1 < n && text[i + 1] == u'"') {
                    field += u'"';
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                field += c;
            }
            continue;
        }
        if (c == u'"' && field.isEmpty()) {
            quoted = true;
            fieldStarted = true;
        } else if (c == separator) {
            row << field;
            field.clear();
            fieldStarted = true;
        } else if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n')
                ++i;
            row << field;
            rows << row;
            row.clear();
            field.clear();
            fieldStarted = false;
        } else {
            field += c; // a quote inside an unquoted field is taken as it stands
            fieldStarted = true;
        }
    }
    if (fieldStarted || !field.isEmpty() || !row.isEmpty()) {
        row << field;
        rows << row;
    }
    return rows;
}

QList<QStringList> Read(const QByteArray& bytes)
{
    const QString text = textfile::decode(bytes);
    return Parse(text, DetectSeparator(text));
}

TMapping GuessMapping(const QList<QStringList>& rows)
{
    TMapping m;
    if (rows.isEmpty())
        return m;
    const QStringList& first = rows.first();
    const bool firstHasAddress = std::any_of(first.begin(), first.end(), [](const QString& s) { return s.contains(u'@'); });
    if (!firstHasAddress) {
        for (int i = 0; i < first.size(); ++i) {
            const auto it = knownNames().constFind(normalName(first[i]));
            if (it != knownNames().constEnd() && m.column[size_t(*it)] < 0) {
                m.column[size_t(*it)] = i;
                m.header = true;
            }
        }
    }
    if (m.column[cEmail] < 0) {
        // The column with "@" in most of the first rows.
        QList<int> hits;
        for (int r = m.header ? 1 : 0; r < qMin<int>(int(rows.size()), kSampleRows); ++r) {
            for (int i = 0; i < rows[r].size(); ++i) {
                if (hits.size() <= i)
                    hits.resize(i + 1);
                if (rows[r][i].contains(u'@'))
                    ++hits[i];
            }
        }
        const auto best = std::max_element(hits.begin(), hits.end());
        if (best != hits.end() && *best > 0)
            m.column[cEmail] = int(best - hits.begin());
        if (!m.header && m.column[cName] < 0) {
            for (int i = 0; i < first.size(); ++i) {
                if (i != m.column[cEmail]) {
                    m.column[cName] = i;
                    break;
                }
            }
        }
    }
    return m;
}

TImportResult AddRows(const QList<QStringList>& rows, const TMapping& mapping, TAddressList& entries)
{
    TImportResult res;
    auto refuse = [&res](int row, const QString& why) {
        ++res.refused;
        if (res.reasons.size() < kReasonsKept)
            res.reasons << QStringLiteral("row %1: %2").arg(row + 1).arg(why);
    };
    const int emailCol = mapping.column[cEmail];
    for (int r = mapping.header ? 1 : 0; r < rows.size(); ++r) {
        const QStringList& row = rows[r];
        auto cell = [&row](int col) { return col >= 0 && col < row.size() ? row[col] : QString(); };
        const QString email = cell(emailCol).trimmed();
        bool blankRow = std::all_of(row.begin(), row.end(), [](const QString& s) { return s.trimmed().isEmpty(); });
        if (blankRow)
            continue; // spreadsheets end their files with empty rows
        if (email.isEmpty()) {
            refuse(r, QStringLiteral("no e-mail address"));
            continue;
        }
        if (std::any_of(email.begin(), email.end(), [](QChar c) { return c.isSpace() || c.category() == QChar::Other_Control; })) {
            refuse(r, QStringLiteral("the e-mail address holds blanks or line breaks"));
            continue;
        }
        if (!isStorable(email)) {
            refuse(r, QStringLiteral("the e-mail address holds characters a list file cannot store"));
            continue;
        }
        if (email.size() > MailListRecord::Capacity(MailListRecord::Email)) {
            refuse(r, QStringLiteral("the e-mail address is longer than 100 characters"));
            continue;
        }
        if (entries.EmailExists(email)) {
            ++res.duplicates;
            continue;
        }
        auto entry = std::make_unique<MailListRecord>();
        for (int c = 0; c < kColumns; ++c) {
            if (c != cEmail)
                entry->SetText(kField[c], oneLine(cell(mapping.column[size_t(c)])));
        }
        entry->SetText(MailListRecord::Email, email);
        entry->SetText(MailListRecord::Mark, QStringLiteral("New"));
        entries.Append(std::move(entry));
        ++res.added;
    }
    return res;
}

QByteArray Export(const TAddressList& entries)
{
    QString out;
    out.reserve(64 * (entries.Count() + 1));
    auto addRow = [&out](const QStringList& fields) {
        for (int i = 0; i < fields.size(); ++i) {
            if (i)
                out += u',';
            appendField(out, fields[i]);
        }
        out += QStringLiteral("\r\n");
    };
    addRow(ColumnCaptions());
    QStringList fields;
    for (int i = 0; i < entries.Count(); ++i) {
        const MailListRecord& r = entries.At(i);
        fields.clear();
        for (MailListRecord::Field f : kField)
            fields << r.Text(f);
        addRow(fields);
    }
    return QByteArrayLiteral("\xEF\xBB\xBF") + out.toUtf8();
}

} // namespace csvfile
