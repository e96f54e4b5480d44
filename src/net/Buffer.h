#pragma once
// One fixed-size block of a socket's send queue: bytes are written at the end and taken out
// from the front; an emptied block starts over from its beginning.
#include <QByteArray>

#include <memory>

class TBuffer
{
public:
    static constexpr int DefaultSize = 1514; // bytes: one Ethernet frame

    explicit TBuffer(int size);
    // A full block over bytes shared with the caller (no copy); it takes no further writes.
    TBuffer(const QByteArray& bytes, int offset);
    TBuffer(const TBuffer&) = delete;
    TBuffer& operator=(const TBuffer&) = delete;

    // A size of 0 or less means DefaultSize. Written bytes survive a resize as far as they fit.
    void SetBufSize(int size);
    int BufSize() const { return m_bufSize; }

    // Copies as much as fits; returns the count taken (0 when the block is full).
    int Write(const void* data, int length);
    // The unread bytes; nullptr and 0 when there are none.
    const char* Peek(int& length) const;
    // Takes up to `length` unread bytes out; returns the count taken.
    int Remove(int length);

    int WritePos() const { return m_wrCount; }
    int ReadPos() const { return m_rdCount; }
    int Unread() const { return m_wrCount - m_rdCount; }
    int Free() const { return m_shared.isNull() ? m_bufSize - m_wrCount : 0; } // 0 for a shared block
    bool IsShared() const { return !m_shared.isNull(); }

private:
    std::unique_ptr<char[]> m_data;
    QByteArray m_shared;
    int m_bufSize = 0;
    int m_wrCount = 0;
    int m_rdCount = 0;
};
