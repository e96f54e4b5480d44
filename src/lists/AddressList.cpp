#include "lists/AddressList.h"

#include "lists/SortKey.h"
#include "platform/Cp1252.h"

#include <algorithm>

void TAddressList::BuildIndex() const
{
    m_emails.clear();
    m_emails.reserve(qsizetype(m_entries.size()));
    for (const Entry& e : m_entries)
        ++m_emails[sortkey::Upper(e->Bytes(MailListRecord::Email))];
    m_indexed = true;
}

void TAddressList::Index(const MailListRecord& r)
{
    if (!m_indexed)
        return;
    ++m_emails[sortkey::Upper(r.Bytes(MailListRecord::Email))];
}

void TAddressList::Unindex(const MailListRecord& r)
{
    if (!m_indexed)
        return;
    const auto it = m_emails.find(sortkey::Upper(r.Bytes(MailListRecord::Email)));
    if (it != m_emails.end() && --it.value() <= 0)
        m_emails.erase(it);
}

void TAddressList::Append(Entry e)
{
    Insert(Count(), std::move(e));
}

void TAddressList::Insert(int pos, Entry e)
{
    pos = std::clamp(pos, 0, Count());
    ++m_revision;
    Index(*e);
    if (Notifying())
        m_observer->BeginInsert(pos);
    m_entries.insert(m_entries.begin() + pos, std::move(e));
    if (Notifying())
        m_observer->EndInsert();
}

TAddressList::Entry TAddressList::Take(int pos)
{
    if (Notifying())
        m_observer->BeginRemove(pos);
    ++m_revision;
    Entry e = std::move(m_entries[size_t(pos)]);
    m_entries.erase(m_entries.begin() + pos);
    Unindex(*e);
    if (Notifying())
        m_observer->EndRemove();
    return e;
}

void TAddressList::Clear()
{
    if (Notifying())
        m_observer->BeginReset();
    ++m_revision;
    m_entries.clear();
    m_emails.clear();
    m_indexed = false;
    if (Notifying())
        m_observer->EndReset();
}

QByteArrayView TAddressList::SortKeyOf(const MailListRecord& r)
{
    const QByteArrayView name = r.Bytes(MailListRecord::Name);
    return name.isEmpty() ? r.Bytes(MailListRecord::Email) : name;
}

QString TAddressList::DisplayLine(const MailListRecord& r)
{
    return cp1252::decode(r.Bytes(MailListRecord::Name)) + QStringLiteral("  <")
           + cp1252::decode(r.Bytes(MailListRecord::Email)) + u'>';
}

int TAddressList::InsertSorted(Entry e)
{
    const QByteArrayView key = SortKeyOf(*e);
    int pos = Count();
    for (int i = 0; i < Count(); ++i) {
        if (sortkey::Compare(SortKeyOf(At(i)), key) > 0) {
            pos = i;
            break;
        }
    }
    Insert(pos, std::move(e));
    return pos;
}

bool TAddressList::EmailExists(const QByteArray& email) const
{
    if (!m_indexed)
        BuildIndex();
    return m_emails.contains(sortkey::Upper(email));
}

bool TAddressList::EmailExists(const QString& email) const
{
    return EmailExists(cp1252::encode(email));
}

int TAddressList::CountInversions() const
{
    int n = 0;
    for (int i = 1; i < Count(); ++i) {
        if (sortkey::Compare(SortKeyOf(At(i)), SortKeyOf(At(i - 1))) < 0)
            ++n;
    }
    return n;
}

void TAddressList::SortEntries(const std::function<void(double)>& progress)
{
    // Keys are upper-cased once, then ordered by an introsort (std::sort): O(n log n) on every
    // input, recursion depth bounded by 2 log n. The entries stay in place while `progress`
    // runs (it may repaint the view, which reads them) and are moved in one step at the end.
    struct Keyed
    {
        QByteArray key;
        size_t index;
    };
    const size_t n = m_entries.size();
    std::vector<Keyed> keyed;
    keyed.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        keyed.push_back({sortkey::Upper(SortKeyOf(*m_entries[i])), i});
        if (progress && (i & 0x3FFF) == 0)
            progress(0.5 * double(i) / double(n));
    }
    std::sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) { return a.key < b.key; });
    if (progress)
        progress(0.9);
    if (Notifying())
        m_observer->BeginReset();
    ++m_revision;
    std::vector<Entry> sorted;
    sorted.reserve(n);
    for (const Keyed& k : keyed)
        sorted.push_back(std::move(m_entries[k.index]));
    m_entries.swap(sorted);
    if (Notifying())
        m_observer->EndReset();
    if (progress)
        progress(1.0);
}

void TAddressList::BeginBulk()
{
    if (m_bulk++ == 0 && m_observer)
        m_observer->BeginReset();
}

void TAddressList::EndBulk()
{
    if (--m_bulk == 0 && m_observer)
        m_observer->EndReset();
}
