#pragma once

#include "proxylist/ProxyResult.h"

#include <QtGlobal>

// One row of the row store in 16 bytes: where its line lies in the store's block of bytes, the line's length and the
// row's result. The offset has 40 bits (a store of up to 1 TiB): its low 32 bits in a word of their own, its high 8
// in the packed word beside the result, where every change of the result must leave them be. What a check finds
// beyond these bytes the store keeps beside the row, by the row's id.
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
                           Anonymity((m_packed >> AnonymityShift) & AnonymityMask),
                           {},
                           Grade((found() >> GradeShift) & GradeMask),
                           FoundProtocol(found() & FoundMask)};
        if (const quint32 time = (m_packed >> TimeShift) & TimeMask)
            result.ms = int(time - 1);
        return result;
    }
    // The result, and the row marked touched.
    void setResult(const ProxyResult &result)
    {
        setFound(quint32(result.found) | (quint32(result.grade) << GradeShift));
        const quint32 time = result.ms ? quint32(qBound(0, *result.ms, int(TimeMask) - 1)) + 1 : 0;
        m_packed = (m_packed & OffsetBits) | quint32(result.status) | (quint32(result.anonymity) << AnonymityShift) |
                   TouchedBit | (time << TimeShift);
    }
    // A check has reset the row: it shows black or its verdict's colour rather than the view's own colour.
    bool touched() const { return m_packed & TouchedBit; }
    // The country the location database gave for the row, noted when first asked (0: not asked yet), and forgotten
    // with every change of the result, which may bring another exit address.
    quint16 countryMark() const { return quint16(found() >> CountryShift); }
    void setCountryMark(quint16 mark)
    {
        setFound((found() & ~(CountryMask << CountryShift)) | (quint32(mark) << CountryShift));
    }
    // Untested and touched; the line stays where it is.
    void reset()
    {
        m_packed = (m_packed & OffsetBits) | TouchedBit;
        setFound(0);
    }

    // A copy read on another thread than the window's, which may be noting the row's country meanwhile.
    PackedRow copied() const
    {
        PackedRow copy;
        copy.m_offsetLow = m_offsetLow;
        copy.m_length = m_length;
        copy.m_packed = m_packed;
        copy.m_found = found();
        return copy;
    }

private:
    // The window's thread notes a row's country while a load's thread may read the row's result: the word they
    // share is read and written whole, never torn.
    quint32 found() const { return __atomic_load_n(&m_found, __ATOMIC_RELAXED); }
    void setFound(quint32 found) { __atomic_store_n(&m_found, found, __ATOMIC_RELAXED); }

    // packed: status (3 bits), anonymity (2), touched (1), the offset's high byte (8), then the time in
    // milliseconds plus one (18 bits; 0 when there is none, and a time past 262,142 ms is kept as that).
    static constexpr int StatusBits = 3;
    static constexpr quint32 StatusMask = (1u << StatusBits) - 1;
    static constexpr int AnonymityShift = StatusBits;
    static constexpr int AnonymityBits = 2;
    static constexpr quint32 AnonymityMask = (1u << AnonymityBits) - 1;
    static constexpr quint32 TouchedBit = 1u << (AnonymityShift + AnonymityBits);
    static constexpr int OffsetShift = 6;
    static constexpr quint32 OffsetBits = 0xffu << OffsetShift;
    static constexpr int TimeShift = 14;
    static constexpr quint32 TimeMask = (1u << 18) - 1;
    // found: the protocol found (2 bits) below the grade (2), then the country's mark (16); the bits above are free.
    static constexpr int FoundBits = 2;
    static constexpr quint32 FoundMask = (1u << FoundBits) - 1;
    static constexpr int GradeShift = FoundBits;
    static constexpr int GradeBits = 2;
    static constexpr quint32 GradeMask = (1u << GradeBits) - 1;
    static constexpr int CountryShift = GradeShift + GradeBits;
    static constexpr quint32 CountryMask = 0xffff;

    static_assert(StatusCount <= 1 << StatusBits, "every status fits its bits");
    static_assert(AnonymityCount <= 1 << AnonymityBits, "every anonymity fits its bits");
    static_assert(TouchedBit < 1u << OffsetShift, "the touched bit lies below the offset's byte");
    static_assert(FoundProtocolCount <= 1 << FoundBits, "every protocol found fits its bits");
    static_assert(GradeCount <= 1 << GradeBits, "every grade fits its bits");

    quint32 m_offsetLow = 0;
    quint32 m_length = 0;
    quint32 m_packed = 0;
    quint32 m_found = 0;
};
static_assert(sizeof(PackedRow) == 16, "a row's packed bytes stay 16");
