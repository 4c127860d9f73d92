#pragma once

#include "proxylist/ProxyResult.h"

#include <QtGlobal>

// One row of the row store in 16 bytes: where its line lies in the store's block of bytes, the line's length, the
// row's result and the number of its exit address in the store's ExitAddresses (up to 2^28 - 1 of them; an address
// past those is not kept). The offset has
// 40 bits (a store of up to 1 TiB): its low 32 bits in a word of their own, its high 8 in the packed word beside the
// result, where every change of the result must leave them be.
class PackedRow
{
public:
    PackedRow() = default;
    PackedRow(qint64 offset, qsizetype length) : m_length(quint32(length)) { setOffset(offset); }

    qint64 offset() const { return qint64(m_offsetLow) | (qint64((m_packed >> OffsetShift) & 0xff) << 32); }
    void setOffset(qint64 offset)
    {
        m_offsetLow = quint32(offset);
        m_packed = (m_packed & ~OffsetBits) | (quint32((offset >> 32) & 0xff) << OffsetShift);
    }
    qsizetype length() const { return m_length; }

    ProxyResult result() const
    {
        ProxyResult result{ProxyStatus(m_packed & StatusMask),
                           Anonymity((m_packed >> AnonymityShift) & 0x3),
                           {},
                           Grade(m_exit >> GradeShift),
                           FoundProtocol((m_exit >> FoundShift) & 0x3)};
        if (const quint32 time = (m_packed >> TimeShift) & TimeMask)
            result.ms = int(time - 1);
        return result;
    }
    // The number of the address a working row's echo page showed; 0 for none.
    quint32 exit() const { return m_exit & ExitMask; }
    void setExit(quint32 exit) { m_exit = (m_exit & ~ExitMask) | (exit & ExitMask); }
    // The result, its exit address, and the row marked touched.
    void setResult(const ProxyResult &result, quint32 exit = 0)
    {
        m_exit = (exit <= ExitMask ? exit : 0) | (quint32(result.found) << FoundShift) |
                 (quint32(result.grade) << GradeShift);
        const quint32 time = result.ms ? quint32(qBound(0, *result.ms, int(TimeMask) - 1)) + 1 : 0;
        m_packed = (m_packed & OffsetBits) | quint32(result.status) | (quint32(result.anonymity) << AnonymityShift) |
                   TouchedBit | (time << TimeShift);
    }
    // A check has reset the row: it shows black or its verdict's colour rather than the view's own colour.
    bool touched() const { return m_packed & TouchedBit; }
    // Untested and touched; the line stays where it is.
    void reset()
    {
        m_packed = (m_packed & OffsetBits) | TouchedBit;
        m_exit = 0;
    }

private:
    // packed: status (3 bits), anonymity (2), touched (1), the offset's high byte (8), then the time in
    // milliseconds plus one (18 bits; 0 when there is none, and a time past 262,142 ms is kept as that).
    static constexpr quint32 StatusMask = 0x7;
    static constexpr int AnonymityShift = 3;
    static constexpr quint32 TouchedBit = 1u << 5;
    static constexpr int OffsetShift = 6;
    static constexpr quint32 OffsetBits = 0xffu << OffsetShift;
    static constexpr int TimeShift = 14;
    static constexpr quint32 TimeMask = (1u << 18) - 1;
    // exit: the grade (2 bits) above the protocol found (2) above the exit address's number (28 bits).
    static constexpr int GradeShift = 30;
    static constexpr int FoundShift = 28;
    static constexpr quint32 ExitMask = (1u << FoundShift) - 1;

    quint32 m_offsetLow = 0;
    quint32 m_length = 0;
    quint32 m_packed = 0;
    quint32 m_exit = 0;
};
