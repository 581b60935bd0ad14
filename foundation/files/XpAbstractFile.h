#pragma once
// XpAbstractFile: a file of the file-system object family, seen as a stream of bytes
// with a position. Derived files (XpFile on disk, XpMemoryFile in memory) give the
// opening, the raw reads and writes, the positioning and the length; this class builds
// the typed reads and writes, the byte orders and the text mode on top of them, so
// every file shares them.

#include <cstdint>

#include "foundation/files/XpFSObj.h"

// Open flags.
namespace XpFileFlag {
inline constexpr uint32_t Read = 0x1;
inline constexpr uint32_t Write = 0x2;
// Line ends are CR LF in the file and LF in memory.
inline constexpr uint32_t Text = 0x10;
inline constexpr uint32_t SequentialScan = 0x10000;
inline constexpr uint32_t RandomAccess = 0x20000;
// For files of the system's own in a folder that others may write: a symbolic link or
// junction in place of the file is never followed (XpRc::LinkRefused) ...
inline constexpr uint32_t NoLinks = 0x100000;
// ... and a file that is written is made new: whatever exists under its name already,
// a link included, is never opened (XpRc::AlreadyExists). Implies NoLinks.
inline constexpr uint32_t MustBeNew = 0x200000;
}  // namespace XpFileFlag

// Byte-order codes of the typed reads and writes.
namespace XpByteOrder {
inline constexpr uint32_t BigEndian = 1;
inline constexpr uint32_t LittleEndian = 2;  // the machine's own order
inline constexpr uint32_t Keep = 3;          // keep the current setting
}  // namespace XpByteOrder

// Origins of Seek.
namespace XpSeekOrigin {
inline constexpr uint32_t Begin = 0;
inline constexpr uint32_t Current = 1;
inline constexpr uint32_t End = 2;
}  // namespace XpSeekOrigin

class XpAbstractFile : public XpAbstractFSObj {
public:
    XpAbstractFile() = default;
    ~XpAbstractFile() override;

    bool IsFile() const override { return true; }
    bool IsDirectory() const override { return false; }

    virtual XpResult Open(uint32_t flags, uint32_t shareMode) = 0;
    virtual XpResult Close() = 0;
    // count (may be null) gets the bytes moved.
    virtual XpResult Read(void* buffer, uint64_t size, uint64_t* count) = 0;
    virtual XpResult Write(const void* buffer, uint64_t size, uint64_t* count) = 0;
    // Write, then Flush when the write succeeded.
    virtual XpResult WriteAndFlush(const void* buffer, uint64_t size, uint64_t* count);
    virtual XpResult Flush() = 0;
    // origin: XpSeekOrigin.
    virtual XpResult Seek(int64_t offset, uint32_t origin) = 0;
    // The position; -1 when it cannot be known.
    virtual int64_t Tell() = 0;
    virtual XpResult SetLength(uint64_t length) = 0;

    // Typed reads and writes. order: XpByteOrder; it becomes the file's current order
    // (Keep leaves it). A value is byte-swapped whenever the current order is not the
    // machine's, so a file on which no order was chosen yet reads and writes big-endian.
    // A failed read leaves *value as it was.
    virtual XpResult ReadInt64(int64_t* value, uint32_t order);
    virtual XpResult ReadUInt64(uint64_t* value, uint32_t order);
    virtual XpResult ReadInt32(int32_t* value, uint32_t order);
    virtual XpResult ReadUInt32(uint32_t* value, uint32_t order);
    virtual XpResult ReadInt16(int16_t* value, uint32_t order);
    virtual XpResult ReadUInt16(uint16_t* value, uint32_t order);
    virtual XpResult ReadInt8(int8_t* value);
    virtual XpResult ReadUInt8(uint8_t* value);
    virtual XpResult WriteInt64(int64_t value, uint32_t order);
    virtual XpResult WriteUInt64(uint64_t value, uint32_t order);
    virtual XpResult WriteInt32(int32_t value, uint32_t order);
    virtual XpResult WriteUInt32(uint32_t value, uint32_t order);
    virtual XpResult WriteInt16(int16_t value, uint32_t order);
    virtual XpResult WriteUInt16(uint16_t value, uint32_t order);
    virtual XpResult WriteInt8(int8_t value);
    virtual XpResult WriteUInt8(uint8_t value);
    // 1 or 2 set the order, 3 keeps it; anything else is XpRc::Failure.
    virtual XpResult SetByteOrder(uint32_t order);

    // One character. In text mode a CR LF pair reads as LF; a CR followed by anything
    // else reads as CR and leaves the following character unread.
    virtual XpResult ReadChar(XpChar* ch);
    // One line without its line end, however long. At the end of the file: an empty line
    // and 0.
    virtual XpResult ReadLine(XpString& line);
    // One line without its line end into buffer (capacity characters, terminator
    // included). XpRc::BufferTooSmall when the line fills the buffer before its end; the
    // rest of the line is then left unread. At the end of the file: an empty line and 0.
    virtual XpResult ReadLineToBuffer(XpChar* buffer, uint32_t capacity);
    // In text mode LF is written as CR LF.
    virtual XpResult WriteChar(XpChar ch);
    // Each character up to the terminator, stopping at the first error. A first half of a
    // surrogate pair that ends the text is written as unpaired.
    virtual XpResult WriteText(const XpChar* text);
    // One character of the ANSI code page (one byte, or more for a lead byte), converted.
    // A character beyond the 16-bit range gives its surrogate pair in two calls.
    virtual XpResult ReadRawChar(XpChar* ch);
    // The character converted to the ANSI code page, byte by byte. The first half of a
    // surrogate pair is held for the next call: with its second half it is converted as one
    // character, before anything else as unpaired (the code page's replacement). A half
    // still held when the position moves or the file closes is not written.
    virtual XpResult WriteRawChar(XpChar ch);

    uint32_t GetOpenFlags() const { return m_openFlags; }
    uint32_t GetByteOrder() const { return m_byteOrder; }

protected:
    bool IsTextMode() const { return (m_openFlags & XpFileFlag::Text) != 0; }
    bool NeedsSwap() const { return m_byteOrder != m_machineByteOrder; }

    uint32_t m_byteOrder = 0;
    uint32_t m_machineByteOrder = XpByteOrder::LittleEndian;
    uint32_t m_openFlags = 0;

private:
    XpResult WriteAnsi(const XpChar* units, int count);
    // Writes a held first half of a pair as unpaired, if the position is still where it was given.
    XpResult WritePendingHalf();

    // Text goes by code point: the second half of a pair read but not yet handed out, and
    // the first half of one being written, each with the position it belongs to.
    XpChar m_pendingRead = 0;
    int64_t m_pendingReadAt = -1;
    XpChar m_pendingWrite = 0;
    int64_t m_pendingWriteAt = -1;
};
