#pragma once
// `ListCatalog`: the headers of every known list, owned here, kept sorted by name.
#include "lists/MailListRecord.h"

#include <memory>
#include <vector>

class TListCatalog
{
public:
    using Header = std::unique_ptr<MailListRecord>;

    int Count() const { return int(m_headers.size()); }
    MailListRecord* At(int i) const { return m_headers[size_t(i)].get(); }
    int IndexOf(const MailListRecord* h) const;

    MailListRecord* Append(Header h);
    Header Take(int i);
    void Clear() { m_headers.clear(); }

    // By upper-cased name (a-z only), byte-wise; equal names keep no defined order.
    void Sort();

private:
    std::vector<Header> m_headers;
};
