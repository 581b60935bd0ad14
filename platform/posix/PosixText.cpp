// Text conversion between UTF-16 and the ANSI code page on Linux: the codeset of the
// environment's locale (LC_ALL / LC_CTYPE / LANG) stands in for the Windows ANSI code page.
// The process's global locale is never touched: the codeset is read from a private locale
// object once, on first use.
//
// UTF-8 and ASCII codesets are converted directly; every other codeset goes through iconv.
// Conversion never fails for bad text: a character that the codeset cannot hold becomes
// '?', an input byte that is not valid text becomes U+FFFD. A UTF-8 codeset holds every
// character; there an unpaired surrogate becomes U+FFFD, as in the codec of
// platform/shared/XpUtf.h, which converts by code point. The calling conventions are
// those of MultiByteToWideChar / WideCharToMultiByte: srcLen -1 converts up to and including
// the terminator, dstCount 0 only measures, and too small a destination fails with 0.

#include <errno.h>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <bit>
#include <climits>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/PlatformText.h"
#include "platform/shared/XpUtf.h"

namespace {

constexpr XpChar kReplacementWide = kXpReplacementCharacter;
constexpr char kReplacementNarrow = '?';
constexpr const char* kAsciiCodeset = "ANSI_X3.4-1968";
constexpr const char* kUtf16Name = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";

enum class CodesetKind { Utf8, Ascii, Iconv };

// How the first byte of a character tells its length in a double-byte codeset.
enum class LeadRule { SingleByte, ShiftJis, EucJp, DoubleByte };

struct Codeset {
    std::string name;
    CodesetKind kind;
    LeadRule leadRule;
};

// Upper case, without '-', '_' and '.', so that "utf8", "UTF-8" and "Utf_8" compare equal.
std::string Canonical(const char* name)
{
    std::string out;
    for (const char* p = name; *p != 0; ++p) {
        const char c = *p;
        if (c == '-' || c == '_' || c == '.') continue;
        out += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    return out;
}

Codeset Describe(const char* name)
{
    const std::string canonical = Canonical(name);
    Codeset codeset{name, CodesetKind::Iconv, LeadRule::SingleByte};
    if (canonical == "UTF8") {
        codeset.kind = CodesetKind::Utf8;
    } else if (canonical == "ANSIX3.41968" || canonical == "ANSIX341968" || canonical == "ASCII" ||
               canonical == "USASCII" || canonical == "646") {
        codeset.kind = CodesetKind::Ascii;
    }
    if (canonical == "SHIFTJIS" || canonical == "SJIS" || canonical == "CP932" || canonical == "WINDOWS31J" ||
        canonical == "MSKANJI") {
        codeset.leadRule = LeadRule::ShiftJis;
    } else if (canonical == "EUCJP") {
        codeset.leadRule = LeadRule::EucJp;
    } else if (canonical == "GBK" || canonical == "CP936" || canonical == "GB2312" || canonical == "EUCCN" ||
               canonical == "GB18030" || canonical == "BIG5" || canonical == "BIG5HKSCS" || canonical == "CP950" ||
               canonical == "EUCKR" || canonical == "CP949" || canonical == "UHC") {
        codeset.leadRule = LeadRule::DoubleByte;
    }
    return codeset;
}

Codeset DetectLocaleCodeset()
{
    std::string name = kAsciiCodeset;
    // A private locale object built from the environment: the global locale stays as the
    // program set it. An environment naming a locale that is not installed gives ASCII.
    locale_t locale = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
    if (locale != static_cast<locale_t>(nullptr)) {
        const char* codeset = nl_langinfo_l(CODESET, locale);
        if (codeset != nullptr && codeset[0] != 0) name = codeset;
        freelocale(locale);
    }
    return Describe(name.c_str());
}

const Codeset& LocaleCodeset()
{
    static const Codeset codeset = DetectLocaleCodeset();  // computed once, thread-safely
    return codeset;
}

// Output counters that either write into the caller's block or only count. Counting goes on
// past the block's end so that the caller can tell "too small" from success.
template <class Unit>
class Sink {
public:
    Sink(Unit* destination, int capacity) : m_destination(destination), m_capacity(capacity) {}

    void Put(Unit unit)
    {
        if (m_destination != nullptr && m_count < m_capacity) m_destination[m_count] = unit;
        ++m_count;
    }
    void Put(const Unit* units, size_t count)
    {
        for (size_t i = 0; i < count; ++i) Put(units[i]);
    }
    // Units written or needed, or 0 when they do not fit the destination or an int.
    int Result() const
    {
        if (m_count > INT_MAX) return 0;
        if (m_destination != nullptr && m_count > m_capacity) return 0;
        return static_cast<int>(m_count);
    }

private:
    Unit* m_destination;
    int64_t m_capacity;
    int64_t m_count = 0;
};

// ---- UTF-8 -------------------------------------------------------------------------

// By code point, with the codec's policy for bad input (U+FFFD both ways): a UTF-8 code
// page holds every character, so nothing becomes '?'.
void WideToUtf8(const XpChar* src, size_t length, Sink<char>& out)
{
    XpUtf16ToUtf8(src, length, [&out](char byte) { out.Put(byte); });
}

void Utf8ToWide(const char* src, size_t length, Sink<XpChar>& out)
{
    XpUtf8ToUtf16(src, length, [&out](XpChar unit) { out.Put(unit); });
}

// ---- ASCII -------------------------------------------------------------------------

void WideToAscii(const XpChar* src, size_t length, Sink<char>& out)
{
    for (size_t i = 0; i < length; ++i) {
        const uint16_t c = static_cast<uint16_t>(src[i]);
        if (c < 0x80) {
            out.Put(static_cast<char>(c));
            continue;
        }
        // A surrogate pair is one character and gets one replacement.
        if (XpIsHighSurrogate(c) && i + 1 < length && XpIsLowSurrogate(static_cast<uint16_t>(src[i + 1]))) ++i;
        out.Put(kReplacementNarrow);
    }
}

void AsciiToWide(const char* src, size_t length, Sink<XpChar>& out)
{
    for (size_t i = 0; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(src[i]);
        out.Put(byte < 0x80 ? static_cast<XpChar>(byte) : kReplacementWide);
    }
}

// ---- iconv -------------------------------------------------------------------------

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

// One pair of conversion descriptors per thread for the locale's codeset: a descriptor
// carries shift state and must not be used by two threads at once.
struct ThreadConverters {
    iconv_t toAnsi = kNoConverter;
    iconv_t toWide = kNoConverter;
    bool opened = false;

    ~ThreadConverters()
    {
        if (toAnsi != kNoConverter) iconv_close(toAnsi);
        if (toWide != kNoConverter) iconv_close(toWide);
    }
};

ThreadConverters& LocaleConverters()
{
    thread_local ThreadConverters converters;
    if (!converters.opened) {
        converters.opened = true;
        const char* name = LocaleCodeset().name.c_str();
        converters.toAnsi = iconv_open(name, kUtf16Name);
        converters.toWide = iconv_open(kUtf16Name, name);
    }
    return converters;
}

void IconvWideToAnsi(iconv_t converter, const XpChar* src, size_t length, Sink<char>& out)
{
    iconv(converter, nullptr, nullptr, nullptr, nullptr);  // initial shift state
    char* in = const_cast<char*>(reinterpret_cast<const char*>(src));
    size_t inLeft = length * sizeof(XpChar);
    char chunk[256];
    for (;;) {
        char* chunkEnd = chunk;
        size_t chunkLeft = sizeof(chunk);
        const bool flushing = inLeft == 0;
        // With no input left, one more call writes what returns the output to its
        // initial shift state.
        const size_t done = flushing ? iconv(converter, nullptr, nullptr, &chunkEnd, &chunkLeft)
                                     : iconv(converter, &in, &inLeft, &chunkEnd, &chunkLeft);
        const int error = done == static_cast<size_t>(-1) ? errno : 0;
        out.Put(chunk, static_cast<size_t>(chunkEnd - chunk));
        if (error == E2BIG) continue;
        if (flushing) return;
        if (error == EILSEQ || error == EINVAL) {
            // A character the codeset cannot hold, or an unpaired surrogate: one '?' in its
            // place, and the conversion goes on behind it.
            XpChar unit;
            std::memcpy(&unit, in, sizeof(unit));
            size_t skip = sizeof(XpChar);
            if (XpIsHighSurrogate(static_cast<uint16_t>(unit)) && inLeft >= 2 * sizeof(XpChar)) {
                XpChar next;
                std::memcpy(&next, in + sizeof(XpChar), sizeof(next));
                if (XpIsLowSurrogate(static_cast<uint16_t>(next))) skip = 2 * sizeof(XpChar);
            }
            if (skip > inLeft) skip = inLeft;
            out.Put(kReplacementNarrow);
            in += skip;
            inLeft -= skip;
        } else if (error != 0) {
            return;  // nothing else is expected of iconv; stop rather than loop
        }
    }
}

void IconvAnsiToWide(iconv_t converter, const char* src, size_t length, Sink<XpChar>& out)
{
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(src);
    size_t inLeft = length;
    XpChar chunk[128];
    while (inLeft > 0) {
        char* chunkEnd = reinterpret_cast<char*>(chunk);
        size_t chunkLeft = sizeof(chunk);
        const size_t done = iconv(converter, &in, &inLeft, &chunkEnd, &chunkLeft);
        const int error = done == static_cast<size_t>(-1) ? errno : 0;
        out.Put(chunk, static_cast<size_t>(chunkEnd - reinterpret_cast<char*>(chunk)) / sizeof(XpChar));
        if (error == E2BIG) continue;
        if (error == EILSEQ || error == EINVAL) {
            // An invalid or incomplete byte sequence: the byte becomes U+FFFD and the
            // conversion goes on with the next one.
            out.Put(kReplacementWide);
            ++in;
            --inLeft;
        } else if (error != 0) {
            return;
        }
    }
}

// ---- the two directions --------------------------------------------------------------

// The shared argument rules: a source, a length other than 0 (any negative one meaning "up
// to and including the terminator", as on Windows), and a destination whenever dstCount
// asks for one.
template <class Source, class Destination>
bool ValidArguments(const Source* src, int srcLen, const Destination* dst, int dstCount)
{
    if (src == nullptr || srcLen == 0 || dstCount < 0) return false;
    if (dstCount > 0 && dst == nullptr) return false;
    return true;
}

int WideToAnsi(const Codeset& codeset, iconv_t converter, const XpChar* src, int srcLen, char* dst, int dstCount)
{
    if (!ValidArguments(src, srcLen, dst, dstCount)) return 0;
    const bool withTerminator = srcLen < 0;
    const size_t length = withTerminator ? std::char_traits<XpChar>::length(src) : static_cast<size_t>(srcLen);
    Sink<char> out(dstCount > 0 ? dst : nullptr, dstCount);
    if (codeset.kind == CodesetKind::Utf8) {
        WideToUtf8(src, length, out);
    } else if (codeset.kind == CodesetKind::Iconv && converter != kNoConverter) {
        IconvWideToAnsi(converter, src, length, out);
    } else {
        WideToAscii(src, length, out);  // ASCII, or a codeset that iconv does not know
    }
    if (withTerminator) out.Put(0);
    return out.Result();
}

int AnsiToWide(const Codeset& codeset, iconv_t converter, const char* src, int srcLen, XpChar* dst, int dstCount)
{
    if (!ValidArguments(src, srcLen, dst, dstCount)) return 0;
    const bool withTerminator = srcLen < 0;
    const size_t length = withTerminator ? std::strlen(src) : static_cast<size_t>(srcLen);
    Sink<XpChar> out(dstCount > 0 ? dst : nullptr, dstCount);
    if (codeset.kind == CodesetKind::Utf8) {
        Utf8ToWide(src, length, out);
    } else if (codeset.kind == CodesetKind::Iconv && converter != kNoConverter) {
        IconvAnsiToWide(converter, src, length, out);
    } else {
        AsciiToWide(src, length, out);
    }
    if (withTerminator) out.Put(0);
    return out.Result();
}

int CharLength(const Codeset& codeset, unsigned char first)
{
    if (codeset.kind == CodesetKind::Utf8) return XpUtf8SequenceLength(first);
    switch (codeset.leadRule) {
        case LeadRule::ShiftJis:
            return ((first >= 0x81 && first <= 0x9F) || (first >= 0xE0 && first <= 0xFC)) ? 2 : 1;
        case LeadRule::EucJp:
            if (first == 0x8F) return 3;
            return (first == 0x8E || (first >= 0xA1 && first <= 0xFE)) ? 2 : 1;
        case LeadRule::DoubleByte:
            return (first >= 0x81 && first <= 0xFE) ? 2 : 1;
        case LeadRule::SingleByte:
            break;
    }
    return 1;
}

// A converter pair opened for one call, for the entry points that name their codeset.
struct CallConverter {
    explicit CallConverter(const char* to, const char* from) : handle(iconv_open(to, from)) {}
    ~CallConverter()
    {
        if (handle != kNoConverter) iconv_close(handle);
    }
    CallConverter(const CallConverter&) = delete;
    CallConverter& operator=(const CallConverter&) = delete;
    iconv_t handle;
};

}  // namespace

int XpPlatformAnsiToWide(const char* src, int srcLen, XpChar* dst, int dstCount)
{
    const Codeset& codeset = LocaleCodeset();
    const iconv_t converter = codeset.kind == CodesetKind::Iconv ? LocaleConverters().toWide : kNoConverter;
    return AnsiToWide(codeset, converter, src, srcLen, dst, dstCount);
}

int XpPlatformWideToAnsi(const XpChar* src, int srcLen, char* dst, int dstCount)
{
    const Codeset& codeset = LocaleCodeset();
    const iconv_t converter = codeset.kind == CodesetKind::Iconv ? LocaleConverters().toAnsi : kNoConverter;
    return WideToAnsi(codeset, converter, src, srcLen, dst, dstCount);
}

int XpPlatformAnsiCharLength(unsigned char firstByte)
{
    return CharLength(LocaleCodeset(), firstByte);
}

// The same conversions for a named codeset instead of the locale's. The tests use them to
// reach the iconv and double-byte paths whatever locale they run in.
const char* XpPosixLocaleCodeset()
{
    return LocaleCodeset().name.c_str();
}

int XpPosixAnsiToWideIn(const char* codesetName, const char* src, int srcLen, XpChar* dst, int dstCount)
{
    const Codeset codeset = Describe(codesetName);
    const CallConverter converter(kUtf16Name, codesetName);
    return AnsiToWide(codeset, converter.handle, src, srcLen, dst, dstCount);
}

int XpPosixWideToAnsiIn(const char* codesetName, const XpChar* src, int srcLen, char* dst, int dstCount)
{
    const Codeset codeset = Describe(codesetName);
    const CallConverter converter(codesetName, kUtf16Name);
    return WideToAnsi(codeset, converter.handle, src, srcLen, dst, dstCount);
}

int XpPosixAnsiCharLengthIn(const char* codesetName, unsigned char firstByte)
{
    return CharLength(Describe(codesetName), firstByte);
}

uint32_t XpPlatformAnsiCodePage()
{
    struct Known {
        const char* codeset;  // canonical spelling
        uint32_t codePage;
    };
    static constexpr Known kKnown[] = {
        {"UTF8", 65001},     {"ANSIX341968", 20127}, {"ASCII", 20127},    {"USASCII", 20127},    {"ISO88591", 28591},
        {"ISO88592", 28592}, {"ISO88595", 28595},    {"ISO88597", 28597}, {"ISO88599", 28599},   {"ISO885915", 28605},
        {"CP1250", 1250},    {"CP1251", 1251},       {"CP1252", 1252},    {"CP1253", 1253},      {"CP1254", 1254},
        {"CP1255", 1255},    {"CP1256", 1256},       {"CP1257", 1257},    {"WINDOWS1252", 1252}, {"SHIFTJIS", 932},
        {"SJIS", 932},       {"CP932", 932},         {"WINDOWS31J", 932}, {"EUCJP", 20932},      {"GBK", 936},
        {"CP936", 936},      {"GB2312", 936},        {"EUCCN", 936},      {"GB18030", 54936},    {"BIG5", 950},
        {"BIG5HKSCS", 950},  {"CP950", 950},         {"EUCKR", 949},      {"CP949", 949},        {"UHC", 949},
        {"KOI8R", 20866},    {"KOI8U", 21866},
    };
    static const uint32_t codePage = [] {
        const std::string canonical = Canonical(LocaleCodeset().name.c_str());
        for (const Known& known : kKnown) {
            if (canonical == known.codeset) return known.codePage;
        }
        return 0u;
    }();
    return codePage;
}
