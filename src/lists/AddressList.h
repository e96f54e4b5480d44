#pragma once
// `ListEntries`: the subscribers of the open list, in list order, with an index of their
// upper-cased e-mail addresses so the duplicate test costs O(1) instead of a scan. Every
// change goes through this class, which keeps the index in step and tells an attached
// observer (the `MailList` view) what changed.
#include "lists/MailListRecord.h"

#include <QHash>
#include <functional>
#include <memory>
#include <vector>

class TAddressListObserver
{
public:
    virtual ~TAddressListObserver() = default;
    virtual void BeginInsert(int pos) = 0;
    virtual void EndInsert() = 0;
    virtual void BeginRemove(int pos) = 0;
    virtual void EndRemove() = 0;
    virtual void BeginReset() = 0;
    virtual void EndReset() = 0;
};

class TAddressList
{
public:
    using Entry = std::unique_ptr<MailListRecord>;

    TAddressList() = default;
    TAddressList(const TAddressList&) = delete;
    TAddressList& operator=(const TAddressList&) = delete;

    int Count() const { return int(m_entries.size()); }
    bool IsEmpty() const { return m_entries.empty(); }
    MailListRecord& At(int i) { return *m_entries[size_t(i)]; }
    const MailListRecord& At(int i) const { return *m_entries[size_t(i)]; }

    void Append(Entry e);
    void Insert(int pos, Entry e);
    Entry Take(int pos);
    void Remove(int pos) { Take(pos); }
    void Clear();

    // Insert at the sorted place: before the first entry whose key is greater, so an entry
    // equal to existing keys goes after all of them. Returns the position.
    int InsertSorted(Entry e);

    // True when an entry's e-mail address equals `email` after upper-casing both.
    bool EmailExists(const QByteArray& email) const;
    bool EmailExists(const QString& email) const;

    // Number of adjacent pairs out of order (as the open-list check counts them).
    int CountInversions() const;

    // Sorts by key in O(n log n) with bounded recursion; not stable. `progress` (may be empty)
    // is called now and then with a fraction in [0, 1] so the window can stay responsive.
    void SortEntries(const std::function<void(double)>& progress = {});

    // A subscriber's sort key: the name, or the e-mail address when the name is empty.
    static QByteArrayView SortKeyOf(const MailListRecord& r);
    // The line shown in `MailList`: name, two blanks, "<", address, ">".
    static QString DisplayLine(const MailListRecord& r);

    // Counts every change of the entries, so a caller can tell whether they changed since it
    // last looked (the open list since its last save).
    quint64 Revision() const { return m_revision; }

    void SetObserver(TAddressListObserver* o) { m_observer = o; }
    // While a bulk update runs, per-entry notifications are held back; the observer gets one
    // reset at the end.
    void BeginBulk();
    void EndBulk();

private:
    void Index(const MailListRecord& r);
    void Unindex(const MailListRecord& r);
    void BuildIndex() const;
    bool Notifying() const { return m_observer && m_bulk == 0; }

    std::vector<Entry> m_entries;
    // Upper-cased address -> how many entries have it. Built on first use, so opening a list
    // costs nothing for it; from then on every change keeps it in step.
    mutable QHash<QByteArray, int> m_emails;
    mutable bool m_indexed = false;
    TAddressListObserver* m_observer = nullptr;
    int m_bulk = 0;
    quint64 m_revision = 0;
};
