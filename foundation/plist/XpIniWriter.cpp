#include "foundation/plist/XpIniWriter.h"

#include <cstdarg>
#include <new>

#include "foundation/files/XpMemoryFile.h"
#include "foundation/plist/XpIniDict.h"
#include "foundation/plist/XpIniText.h"
#include "foundation/text/XpFormat.h"
#include "foundation/time/XpDateTime.h"
#include "platform/shared/XpUtf.h"

namespace {

using Text = std::basic_string<XpChar>;

// Raised inside the writer for a character XML cannot carry.
struct NotWritable {};

void AppendAscii(Text& out, const char* text)
{
    while (*text) out += static_cast<XpChar>(*text++);
}

// The characters escaped; a text of blanks only is marked to be kept.
void AppendElementWithText(Text& out, const char* name, const XpChar* text, size_t length)
{
    bool blank = length > 0;
    for (size_t i = 0; i < length && blank; ++i)
        blank = text[i] == XP_T(' ') || text[i] == XP_T('\t') || text[i] == XP_T('\n') || text[i] == XP_T('\r');
    out += XP_T('<');
    AppendAscii(out, name);
    if (blank) AppendAscii(out, " xml:space=\"preserve\"");
    out += XP_T('>');
    for (size_t i = 0; i < length; ++i) {
        const XpChar c = text[i];
        switch (c) {
            case XP_T('&'):
                AppendAscii(out, "&amp;");
                break;
            case XP_T('<'):
                AppendAscii(out, "&lt;");
                break;
            case XP_T('>'):
                AppendAscii(out, "&gt;");
                break;
            case XP_T('\r'):
                AppendAscii(out, "&#13;");
                break;
            default:
                if ((c < 0x20 && c != XP_T('\t') && c != XP_T('\n')) || c == 0xFFFE || c == 0xFFFF) throw NotWritable();
                if (XpIsHighSurrogate(c)) {
                    if (i + 1 >= length || !XpIsLowSurrogate(text[i + 1])) throw NotWritable();
                    out += c;
                    out += text[++i];
                    break;
                }
                if (XpIsLowSurrogate(c)) throw NotWritable();
                out += c;
        }
    }
    AppendAscii(out, "</");
    AppendAscii(out, name);
    out += XP_T('>');
}

void AppendFormatted(Text& out, const char* name, const XpChar* format, ...)
{
    // Room for any double in fixed notation.
    XpChar buffer[400];
    va_list arguments;
    va_start(arguments, format);
    const int length = XpFormatV(buffer, sizeof(buffer) / sizeof(buffer[0]), format, arguments);
    va_end(arguments);
    AppendElementWithText(out, name, buffer, length > 0 ? static_cast<size_t>(length) : 0);
}

void WriteElement(const XpIniElement& element, Text& out);

void WriteDict(const XpIniDict& dict, Text& out)
{
    if (dict.Count() == 0) {
        AppendAscii(out, "<dict/>");
        return;
    }
    AppendAscii(out, "<dict>");
    for (const auto& [key, value] : dict.GetEntries()) {
        AppendElementWithText(out, "key", key.GetString(), static_cast<size_t>(key.GetLength()));
        WriteElement(*value, out);
    }
    AppendAscii(out, "</dict>");
}

void WriteReal(double value, Text& out)
{
    XpChar buffer[400];
    const int length = XpFormat(buffer, sizeof(buffer) / sizeof(buffer[0]), XP_T("%.15f"), value);
    const XpChar point = XpIniDecimalPoint();
    for (int i = 0; i < length; ++i)
        if (buffer[i] == XP_T('.')) buffer[i] = point;
    AppendElementWithText(out, "real", buffer, length > 0 ? static_cast<size_t>(length) : 0);
}

void WriteData(const XpIniElement& element, Text& out)
{
    static const char kDigits[] = "0123456789abcdef";
    XpMemoryFile bytes;
    if (element.GetData(bytes) != XpRc::Ok) throw std::bad_alloc();
    const auto* data = static_cast<const unsigned char*>(bytes.GetBuffer());
    const auto count = static_cast<size_t>(bytes.GetSize());
    AppendAscii(out, "<data>");
    for (size_t i = 0; i < count; ++i) {
        out += static_cast<XpChar>(kDigits[data[i] >> 4]);
        out += static_cast<XpChar>(kDigits[data[i] & 0xF]);
    }
    AppendAscii(out, "</data>");
}

void WriteDate(const XpDateTime& date, Text& out)
{
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!date.IsValid() || !date.GetFields(&year, &month, &day, &hour, &minute, &second, nullptr))
        year = month = day = hour = minute = second = 0;
    AppendFormatted(out, "date", XP_T("%04ld:%02ld:%02ldT%02ld:%02ld:%02ldZ"), year, month, day, hour, minute, second);
}

void WriteElement(const XpIniElement& element, Text& out)
{
    switch (element.GetType()) {
        case XpIniType::Bool: {
            bool value = false;
            element.GetBool(value);
            AppendAscii(out, value ? "<true/>" : "<false/>");
            break;
        }
        case XpIniType::Int: {
            int64_t value = 0;
            element.GetInt64(value);
            AppendFormatted(out, "integer", XP_T("%I64d"), static_cast<long long>(value));
            break;
        }
        case XpIniType::Real: {
            double value = 0.0;
            element.GetReal(value);
            WriteReal(value, out);
            break;
        }
        case XpIniType::String: {
            XpString value;
            element.GetString(value);
            AppendElementWithText(out, "string", value.GetString(), static_cast<size_t>(value.GetLength()));
            break;
        }
        case XpIniType::MemChunk:
            WriteData(element, out);
            break;
        case XpIniType::Date: {
            XpDateTime value;
            element.GetDate(value);
            WriteDate(value, out);
            break;
        }
        case XpIniType::Array: {
            const int count = element.Count();
            if (count == 0) {
                AppendAscii(out, "<array/>");
                break;
            }
            AppendAscii(out, "<array>");
            for (int i = 0; i < count; ++i) WriteElement(*element.GetAt(i), out);
            AppendAscii(out, "</array>");
            break;
        }
        case XpIniType::Dict:
            WriteDict(static_cast<const XpIniDict&>(element), out);
            break;
        default:
            throw NotWritable();
    }
}

}  // namespace

XpResult XpIniWriteDocument(const XpIniDict& dict, bool form, std::basic_string<XpChar>& text)
{
    try {
        text.clear();
        AppendAscii(text, form == XpIniForm::File ? "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
                                                  : "<?xml version=\"1.0\"?>\r\n");
        AppendAscii(text, "<plist version=\"1.0\">");
        WriteDict(dict, text);
        AppendAscii(text, "</plist>\r\n");
        return XpRc::Ok;
    } catch (const NotWritable&) {
        return XpRc::PlistFailed;
    } catch (const std::bad_alloc&) {
        return XpRc::OutOfMemory;
    }
}
