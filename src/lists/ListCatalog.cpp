#include "lists/ListCatalog.h"

#include "lists/SortKey.h"

#include <algorithm>

int TListCatalog::IndexOf(const MailListRecord* h) const
{
    for (int i = 0; i < Count(); ++i) {
        if (m_headers[size_t(i)].get() == h)
            return i;
    }
    return -1;
}

MailListRecord* TListCatalog::Append(Header h)
{
    m_headers.push_back(std::move(h));
    return m_headers.back().get();
}

TListCatalog::Header TListCatalog::Take(int i)
{
    Header h = std::move(m_headers[size_t(i)]);
    m_headers.erase(m_headers.begin() + i);
    return h;
}

void TListCatalog::Sort()
{
    std::stable_sort(m_headers.begin(), m_headers.end(), [](const Header& a, const Header& b) {
        return sortkey::Compare(a->Bytes(MailListRecord::Name), b->Bytes(MailListRecord::Name)) < 0;
    });
}
