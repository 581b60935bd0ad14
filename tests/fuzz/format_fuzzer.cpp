// Arbitrary format strings with arbitrary arguments: the formatter must stay within its
// buffer, always terminate it, report the same length whatever the buffer, and write the
// same text into a small buffer as the start of what it writes into a large one.
//
// Input: 2 bytes buffer count (below 1024), 2 bytes length of the argument bytes, the
// argument bytes, then the format as 16-bit units.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "foundation/text/XpFormat.h"

namespace {

// Arguments drawn from the fuzz input; once it runs out, zeros and null texts.
class FuzzArguments final : public XpFormatArguments {
public:
    FuzzArguments(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    int32_t NextInt32() override { return static_cast<int32_t>(Take(4)); }
    int64_t NextInt64() override { return static_cast<int64_t>(Take(8)); }
    double NextDouble() override
    {
        const uint64_t bits = Take(8);
        double value;
        std::memcpy(&value, &bits, sizeof(value));
        return value;
    }
    const void* NextPointer() override { return reinterpret_cast<const void*>(static_cast<uintptr_t>(Take(8))); }
    const XpChar* NextWideText() override
    {
        const size_t length = static_cast<size_t>(Take(1));
        if (length == 0) return nullptr;
        std::basic_string<XpChar>& text = m_wideTexts.emplace_back();
        for (size_t i = 0; i < length - 1; ++i) text += static_cast<XpChar>(Take(2));
        return text.c_str();
    }
    const char* NextNarrowText() override
    {
        const size_t length = static_cast<size_t>(Take(1));
        if (length == 0) return nullptr;
        std::string& text = m_narrowTexts.emplace_back();
        for (size_t i = 0; i < length - 1; ++i) text += static_cast<char>(Take(1));
        return text.c_str();
    }

private:
    uint64_t Take(size_t bytes)
    {
        uint64_t value = 0;
        for (size_t i = 0; i < bytes; ++i) {
            const uint8_t byte = m_position < m_size ? m_data[m_position++] : 0;
            value |= static_cast<uint64_t>(byte) << (8 * i);
        }
        return value;
    }

    const uint8_t* m_data;
    size_t m_size;
    size_t m_position = 0;
    std::deque<std::basic_string<XpChar>> m_wideTexts;  // stable addresses
    std::deque<std::string> m_narrowTexts;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4) return 0;
    const size_t count = (data[0] | (data[1] << 8)) % 1024;
    size_t argumentBytes = static_cast<size_t>(data[2] | (data[3] << 8));
    data += 4;
    size -= 4;
    if (argumentBytes > size) argumentBytes = size;
    const uint8_t* arguments = data;
    data += argumentBytes;
    size -= argumentBytes;

    std::vector<XpChar> format(size / 2 + 1, 0);
    std::memcpy(format.data(), data, (size / 2) * sizeof(XpChar));

    // Exactly count elements on the heap, so that any write past them is caught.
    XpChar* buffer = count > 0 ? static_cast<XpChar*>(std::malloc(count * sizeof(XpChar))) : nullptr;
    FuzzArguments first(arguments, argumentBytes);
    const uint64_t length = XpFormatTo(buffer, count, format.data(), first);
    if (buffer != nullptr) {
        const size_t end = length < count ? static_cast<size_t>(length) : count - 1;
        if (buffer[end] != 0) std::abort();  // always terminated, right behind the text
    }

    FuzzArguments measuring(arguments, argumentBytes);
    if (XpFormatTo(nullptr, 0, format.data(), measuring) != length) std::abort();

    if (length < (1u << 16) && buffer != nullptr) {
        std::vector<XpChar> whole(static_cast<size_t>(length) + 1, 0x5A5A);
        FuzzArguments again(arguments, argumentBytes);
        if (XpFormatTo(whole.data(), whole.size(), format.data(), again) != length) std::abort();
        if (whole[static_cast<size_t>(length)] != 0) std::abort();
        const size_t kept = length < count ? static_cast<size_t>(length) : count - 1;
        if (std::memcmp(whole.data(), buffer, kept * sizeof(XpChar)) != 0) std::abort();
    }
    std::free(buffer);
    return 0;
}
