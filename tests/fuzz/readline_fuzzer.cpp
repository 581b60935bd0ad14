// Reads lines from arbitrary bytes through an XpMemoryFile that holds the input as an
// attached block (never owned, never written), in binary and in text mode, with ReadLine,
// ReadLineToBuffer of small capacities and ReadChar. The reads must stay inside the block,
// move forward, and end.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "foundation/files/XpMemoryFile.h"

namespace {

void Check(bool condition)
{
    if (!condition) __builtin_trap();
}

// Reads the whole content line by line; the first byte of the input picks, per line,
// between ReadLine and ReadLineToBuffer and the buffer's capacity.
void ReadAllLines(const uint8_t* data, size_t size, uint32_t flags, uint8_t choice)
{
    XpMemoryFile file;
    file.Attach(const_cast<uint8_t*>(data), size, false);
    Check(file.Open(flags, 0) == XpRc::Ok);
    const int64_t length = static_cast<int64_t>(size);
    std::vector<XpChar> buffer(2 + (choice & 0x1F));
    const int64_t start = file.Tell();
    int64_t position = start;
    // Every call moves on by at least one byte until the end, but for one that gives only the
    // second half of a surrogate pair whose bytes the call before read; a few more calls at
    // the end must keep answering an empty line. No character has fewer bytes than units.
    size_t emptyAtEnd = 0;
    int64_t units = 0;
    for (size_t round = 0; emptyAtEnd < 3; ++round) {
        Check(round <= 2 * size + 3);
        XpResult rc;
        int32_t lineLength = 0;
        if ((choice >> 5) & (1u << (round % 3))) {
            rc = file.ReadLineToBuffer(buffer.data(), static_cast<uint32_t>(buffer.size()));
            Check(rc == XpRc::Ok || rc == XpRc::BufferTooSmall);
            // The terminator lies within the buffer (a NUL byte in the content ends the
            // text early, so the text may be shorter than what was read).
            while (buffer[lineLength] != 0) {
                Check(buffer[lineLength] != XP_T('\n'));
                ++lineLength;
                Check(lineLength < static_cast<int32_t>(buffer.size()));
            }
        } else {
            XpString line;
            rc = file.ReadLine(line);
            Check(rc == XpRc::Ok);
            lineLength = line.GetLength();
            for (int32_t i = 0; i < lineLength; ++i) Check(line.GetString()[i] != XP_T('\n'));
        }
        const int64_t now = file.Tell();
        Check(now >= position && now <= length);
        units += lineLength;
        Check(units <= now - start);
        if (now == position) {
            Check(lineLength <= 1);
            if (lineLength == 0) {
                Check(now == length && rc == XpRc::Ok);
                ++emptyAtEnd;
            }
        }
        position = now;
    }
    Check(file.Detach() == data);
}

// Every character one by one: the text mode gives back no more characters than bytes.
void ReadAllChars(const uint8_t* data, size_t size, uint32_t flags)
{
    XpMemoryFile file;
    file.Attach(const_cast<uint8_t*>(data), size, false);
    file.Open(flags, 0);
    size_t count = 0;
    XpChar ch = 0;
    XpResult rc;
    while ((rc = file.ReadChar(&ch)) == XpRc::Ok) {
        ++count;
        Check(count <= size);
    }
    Check(rc == XpRc::EndOfFile);
    Check(file.Tell() == static_cast<int64_t>(size));
    file.Detach();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Multi-byte characters make the look-ahead after a CR put back more than one byte.
    setenv("LC_ALL", "C.UTF-8", 0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    const uint8_t choice = data[0];
    ++data;
    --size;
    ReadAllLines(data, size, XpFileFlag::Read, choice);
    ReadAllLines(data, size, XpFileFlag::Read | XpFileFlag::Text, choice);
    ReadAllChars(data, size, XpFileFlag::Read);
    ReadAllChars(data, size, XpFileFlag::Read | XpFileFlag::Text);
    return 0;
}
