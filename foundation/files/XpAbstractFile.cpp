#include "foundation/files/XpAbstractFile.h"

#include <bit>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/PlatformText.h"
#include "platform/shared/XpUtf.h"

// The machine order of the file family is little-endian (code 2); both targets are.
static_assert(std::endian::native == std::endian::little, "the file family assumes a little-endian machine");

namespace {

template <class T>
T SwapBytes(T value)
{
    unsigned char bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    for (size_t i = 0; i < sizeof(T) / 2; ++i) {
        unsigned char t = bytes[i];
        bytes[i] = bytes[sizeof(T) - 1 - i];
        bytes[sizeof(T) - 1 - i] = t;
    }
    std::memcpy(&value, bytes, sizeof(T));
    return value;
}

// Characters of the first ReadLine attempt, and by how many each new attempt grows.
constexpr uint32_t kLineStep = 256;
constexpr XpChar kCr = 0x0D;
constexpr XpChar kLf = 0x0A;

}  // namespace

XpAbstractFile::~XpAbstractFile() = default;

XpResult XpAbstractFile::WriteAndFlush(const void* buffer, uint64_t size, uint64_t* count)
{
    XpResult rc = Write(buffer, size, count);
    if (rc == XpRc::Ok) rc = Flush();
    return rc;
}

// ---- typed values -------------------------------------------------------------------

namespace {

template <class T>
XpResult ReadTyped(XpAbstractFile& file, T* value, uint32_t order, bool swapAllowed)
{
    if (!value) return XpRc::InvalidArgument;
    if (swapAllowed) {
        XpResult rc = file.SetByteOrder(order);
        if (rc != XpRc::Ok) return rc;
    }
    T raw{};
    uint64_t count = 0;
    XpResult rc = file.Read(&raw, sizeof(T), &count);
    if (rc != XpRc::Ok) return rc;
    if (count != sizeof(T)) return XpRc::EndOfFile;
    if (swapAllowed && file.GetByteOrder() != XpByteOrder::LittleEndian) raw = SwapBytes(raw);
    *value = raw;
    return XpRc::Ok;
}

template <class T>
XpResult WriteTyped(XpAbstractFile& file, T value, uint32_t order, bool swapAllowed)
{
    if (swapAllowed) {
        XpResult rc = file.SetByteOrder(order);
        if (rc != XpRc::Ok) return rc;
        if (file.GetByteOrder() != XpByteOrder::LittleEndian) value = SwapBytes(value);
    }
    return file.Write(&value, sizeof(T), nullptr);
}

}  // namespace

XpResult XpAbstractFile::ReadInt64(int64_t* value, uint32_t order)
{
    return ReadTyped(*this, value, order, true);
}
XpResult XpAbstractFile::ReadUInt64(uint64_t* value, uint32_t order)
{
    return ReadTyped(*this, value, order, true);
}
XpResult XpAbstractFile::ReadInt32(int32_t* value, uint32_t order)
{
    return ReadTyped(*this, value, order, true);
}
XpResult XpAbstractFile::ReadUInt32(uint32_t* value, uint32_t order)
{
    return ReadTyped(*this, value, order, true);
}
XpResult XpAbstractFile::ReadInt16(int16_t* value, uint32_t order)
{
    return ReadTyped(*this, value, order, true);
}
XpResult XpAbstractFile::ReadUInt16(uint16_t* value, uint32_t order)
{
    return ReadTyped(*this, value, order, true);
}
XpResult XpAbstractFile::ReadInt8(int8_t* value)
{
    return ReadTyped(*this, value, XpByteOrder::Keep, false);
}
XpResult XpAbstractFile::ReadUInt8(uint8_t* value)
{
    return ReadTyped(*this, value, XpByteOrder::Keep, false);
}

XpResult XpAbstractFile::WriteInt64(int64_t value, uint32_t order)
{
    return WriteTyped(*this, value, order, true);
}
XpResult XpAbstractFile::WriteUInt64(uint64_t value, uint32_t order)
{
    return WriteTyped(*this, value, order, true);
}
XpResult XpAbstractFile::WriteInt32(int32_t value, uint32_t order)
{
    return WriteTyped(*this, value, order, true);
}
XpResult XpAbstractFile::WriteUInt32(uint32_t value, uint32_t order)
{
    return WriteTyped(*this, value, order, true);
}
XpResult XpAbstractFile::WriteInt16(int16_t value, uint32_t order)
{
    return WriteTyped(*this, value, order, true);
}
XpResult XpAbstractFile::WriteUInt16(uint16_t value, uint32_t order)
{
    return WriteTyped(*this, value, order, true);
}
XpResult XpAbstractFile::WriteInt8(int8_t value)
{
    return WriteTyped(*this, value, XpByteOrder::Keep, false);
}
XpResult XpAbstractFile::WriteUInt8(uint8_t value)
{
    return WriteTyped(*this, value, XpByteOrder::Keep, false);
}

XpResult XpAbstractFile::SetByteOrder(uint32_t order)
{
    switch (order) {
        case XpByteOrder::BigEndian:
        case XpByteOrder::LittleEndian:
            m_byteOrder = order;
            return XpRc::Ok;
        case XpByteOrder::Keep:
            return XpRc::Ok;
        default:
            return XpRc::Failure;
    }
}

// ---- text ---------------------------------------------------------------------------

XpResult XpAbstractFile::ReadRawChar(XpChar* ch)
{
    if (!ch) return XpRc::InvalidArgument;
    // The second half of a character read by the last call, handed out now unless the
    // position has moved since.
    if (m_pendingRead != 0) {
        const XpChar pending = m_pendingRead;
        m_pendingRead = 0;
        if (Tell() == m_pendingReadAt) {
            *ch = pending;
            return XpRc::Ok;
        }
    }
    char bytes[4];
    uint8_t first = 0;
    XpResult rc = ReadUInt8(&first);
    if (rc != XpRc::Ok) return rc;
    bytes[0] = static_cast<char>(first);
    int length = XpPlatformAnsiCharLength(first);
    if (length < 1) length = 1;
    if (length > 4) length = 4;
    if (length > 1) {
        // The rest of a multi-byte character. A file that ends inside the character gives
        // what was read; the conversion turns the broken character into a replacement.
        uint64_t count = 0;
        rc = Read(bytes + 1, static_cast<uint64_t>(length - 1), &count);
        if (rc != XpRc::Ok && rc != XpRc::EndOfFile) return rc;
        length = 1 + static_cast<int>(count);
    }
    XpChar wide[4] = {};
    const int units = XpPlatformAnsiToWide(bytes, length, wide, 4);
    if (units <= 0) return XpRc::Failure;
    *ch = wide[0];
    // A character beyond the 16-bit range comes as a surrogate pair: its second half is
    // the next character read.
    if (units >= 2 && XpIsHighSurrogate(static_cast<uint16_t>(wide[0])) &&
        XpIsLowSurrogate(static_cast<uint16_t>(wide[1]))) {
        m_pendingRead = wide[1];
        m_pendingReadAt = Tell();
    }
    return XpRc::Ok;
}

XpResult XpAbstractFile::WriteAnsi(const XpChar* units, int count)
{
    char bytes[16];
    int length = XpPlatformWideToAnsi(units, count, bytes, static_cast<int>(sizeof bytes));
    if (length <= 0) return XpRc::Failure;
    for (int i = 0; i < length; ++i) {
        XpResult rc = WriteUInt8(static_cast<uint8_t>(bytes[i]));
        if (rc != XpRc::Ok) return rc;
    }
    return XpRc::Ok;
}

XpResult XpAbstractFile::WritePendingHalf()
{
    const XpChar high = m_pendingWrite;
    m_pendingWrite = 0;
    // Written where it was given; once the position has moved, it no longer belongs anywhere.
    if (high == 0 || Tell() != m_pendingWriteAt) return XpRc::Ok;
    return WriteAnsi(&high, 1);
}

XpResult XpAbstractFile::WriteRawChar(XpChar ch)
{
    // The two halves of a surrogate pair are converted together, as one character: the
    // first waits for the second.
    if (m_pendingWrite != 0 && XpIsLowSurrogate(static_cast<uint16_t>(ch)) && Tell() == m_pendingWriteAt) {
        const XpChar pair[2] = {m_pendingWrite, ch};
        m_pendingWrite = 0;
        return WriteAnsi(pair, 2);
    }
    XpResult rc = WritePendingHalf();  // unpaired: the code page's replacement
    if (rc != XpRc::Ok) return rc;
    if (XpIsHighSurrogate(static_cast<uint16_t>(ch))) {
        m_pendingWrite = ch;
        m_pendingWriteAt = Tell();
        return XpRc::Ok;
    }
    return WriteAnsi(&ch, 1);
}

XpResult XpAbstractFile::ReadChar(XpChar* ch)
{
    if (!ch) return XpRc::InvalidArgument;
    XpChar first = 0;
    XpResult rc = ReadRawChar(&first);
    if (rc != XpRc::Ok) return rc;
    if (!IsTextMode() || first != kCr) {
        *ch = first;
        return XpRc::Ok;
    }
    // A CR: look at the next character. CR LF is one line end; anything else is put back
    // (all of its bytes, since it may be a multi-byte character), and a CR that ends the
    // file is an ordinary character rather than a lost one.
    int64_t before = Tell();
    XpChar next = 0;
    rc = ReadRawChar(&next);
    if (rc == XpRc::EndOfFile) {
        *ch = kCr;
        return XpRc::Ok;
    }
    if (rc != XpRc::Ok) return rc;
    if (next == kLf) {
        *ch = kLf;
        return XpRc::Ok;
    }
    *ch = kCr;
    if (before >= 0) return Seek(before, XpSeekOrigin::Begin);
    return Seek(-1, XpSeekOrigin::Current);
}

XpResult XpAbstractFile::WriteChar(XpChar ch)
{
    if (IsTextMode() && ch == kLf) {
        XpResult rc = WriteRawChar(kCr);
        if (rc != XpRc::Ok) return rc;
    }
    return WriteRawChar(ch);
}

XpResult XpAbstractFile::WriteText(const XpChar* text)
{
    if (!text) return XpRc::InvalidArgument;
    for (; *text != 0; ++text) {
        XpResult rc = WriteChar(*text);
        if (rc != XpRc::Ok) return rc;
    }
    // The text is whole: a first half of a pair at its end has no second one.
    return WritePendingHalf();
}

XpResult XpAbstractFile::ReadLineToBuffer(XpChar* buffer, uint32_t capacity)
{
    if (!buffer || capacity < 2) return XpRc::InvalidArgument;
    uint32_t used = 0;
    XpResult rc = XpRc::Ok;
    for (;;) {
        XpChar ch = 0;
        rc = ReadChar(&ch);
        if (rc != XpRc::Ok) break;
        if (ch == kLf) break;
        buffer[used++] = ch;
        if (used == capacity - 1) {
            rc = XpRc::BufferTooSmall;
            break;
        }
    }
    buffer[used] = 0;
    return rc == XpRc::EndOfFile ? XpRc::Ok : rc;
}

XpResult XpAbstractFile::ReadLine(XpString& line)
{
    // Each attempt reads the line from its start into a buffer one step larger than the
    // last, until the whole line fits.
    int64_t start = Tell();
    uint32_t capacity = kLineStep;
    for (;;) {
        auto* buffer = static_cast<XpChar*>(std::malloc(sizeof(XpChar) * capacity));
        if (!buffer) {
            line = XpString();
            return XpRc::OutOfMemory;
        }
        XpResult rc = ReadLineToBuffer(buffer, capacity);
        if (rc == XpRc::Ok) {
            line = XpString(buffer);
            std::free(buffer);
            return XpRc::Ok;
        }
        std::free(buffer);
        if (rc != XpRc::BufferTooSmall) {
            line = XpString();
            return rc;
        }
        if (capacity > static_cast<uint32_t>(std::numeric_limits<int32_t>::max()) - kLineStep) {
            line = XpString();
            return XpRc::OutOfMemory;
        }
        rc = Seek(start, XpSeekOrigin::Begin);
        if (rc != XpRc::Ok) {
            line = XpString();
            return rc;
        }
        capacity += kLineStep;
    }
}
