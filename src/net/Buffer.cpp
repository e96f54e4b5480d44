#include "net/Buffer.h"

#include <algorithm>
#include <cstring>

TBuffer::TBuffer(int size)
{
    SetBufSize(size);
}

TBuffer::TBuffer(const QByteArray& bytes, int offset) : m_shared(bytes)
{
    m_bufSize = int(bytes.size());
    m_wrCount = m_bufSize;
    m_rdCount = std::clamp(offset, 0, m_bufSize);
}

void TBuffer::SetBufSize(int size)
{
    if (IsShared())
        return;
    if (size <= 0)
        size = DefaultSize;
    if (size == m_bufSize)
        return;
    std::unique_ptr<char[]> data(new char[size]);
    if (m_data && m_wrCount > m_rdCount) {
        // Shrinking below the written range keeps what fits; the positions follow.
        const int keep = std::min(m_wrCount, size);
        std::memcpy(data.get(), m_data.get(), keep);
        m_wrCount = keep;
        m_rdCount = std::min(m_rdCount, keep);
    } else {
        m_wrCount = m_rdCount = 0;
    }
    m_data = std::move(data);
    m_bufSize = size;
}

int TBuffer::Write(const void* data, int length)
{
    const int n = std::min(length, Free());
    if (n <= 0)
        return 0;
    std::memcpy(m_data.get() + m_wrCount, data, n);
    m_wrCount += n;
    return n;
}

const char* TBuffer::Peek(int& length) const
{
    length = m_wrCount - m_rdCount;
    if (length <= 0)
        return nullptr;
    return (IsShared() ? m_shared.constData() : m_data.get()) + m_rdCount;
}

int TBuffer::Remove(int length)
{
    const int n = std::min(length, m_wrCount - m_rdCount);
    if (n <= 0)
        return 0;
    m_rdCount += n;
    if (m_rdCount >= m_wrCount && !IsShared())
        m_rdCount = m_wrCount = 0;
    return n;
}
