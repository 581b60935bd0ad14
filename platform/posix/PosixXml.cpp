// The XML parser on Linux: libxml2's SAX interface feeding an XpXmlDocument directly, so
// that no libxml2 tree is built and thrown away. The library's own handlers stay in place
// for the document type declaration (internal entities are declared and expanded through
// them); external entities and subsets are never fetched: the entity resolver answers
// nothing and neither DTD loading nor entity substitution is asked for.

#include <fcntl.h>
#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/PlatformErrors.h"
#include "platform/PlatformXml.h"
#include "platform/posix/PosixCommon.h"

namespace {

struct SaxState {
    XpXmlDocument* document;
    xmlParserCtxtPtr mainContext;
    XpPlatformString scratch;
};

// Callbacks get the parser context: the document's own, or one that libxml2 makes for
// the content of an entity; both carry the state in _private.
SaxState* StateOf(void* context)
{
    return static_cast<SaxState*>(static_cast<xmlParserCtxtPtr>(context)->_private);
}

// A limit was hit: stop this parse and the document's.
void Stop(void* context, SaxState* state)
{
    xmlStopParser(static_cast<xmlParserCtxtPtr>(context));
    if (state->mainContext != context) xmlStopParser(state->mainContext);
}

// UTF-8 from libxml2 (always valid) into the state's scratch text.
const XpPlatformString& Widen(SaxState* state, const xmlChar* text, size_t length)
{
    XpPlatformString& out = state->scratch;
    size_t i = 0;
    while (i < length && text[i] < 0x80) ++i;
    if (i == length) {
        out.resize(length);
        for (size_t k = 0; k < length; ++k) out[k] = static_cast<XpChar>(text[k]);
    } else {
        out = XpPosixFromUtf8(reinterpret_cast<const char*>(text), length);
    }
    return out;
}

size_t Length(const xmlChar* text)
{
    return text ? std::strlen(reinterpret_cast<const char*>(text)) : 0;
}

void OnStartElement(void* context, const xmlChar* localName, const xmlChar* prefix, const xmlChar*, int,
                    const xmlChar**, int attributeCount, int, const xmlChar** attributes)
{
    SaxState* state = StateOf(context);
    // xml:space, among the attributes given as (local name, prefix, URI, value, end).
    int space = XpXmlSpace::Inherit;
    for (int i = 0; i < attributeCount; ++i) {
        const xmlChar** attribute = attributes + 5 * i;
        if (attribute[1] && xmlStrEqual(attribute[1], BAD_CAST "xml") && xmlStrEqual(attribute[0], BAD_CAST "space")) {
            const std::string value(reinterpret_cast<const char*>(attribute[3]),
                                    static_cast<size_t>(attribute[4] - attribute[3]));
            space = value == "preserve" ? XpXmlSpace::Preserve : value == "default" ? XpXmlSpace::Default : space;
        }
    }
    // The qualified name, as a DOM gives it.
    bool ok;
    if (prefix) {
        XpPlatformString name = Widen(state, prefix, Length(prefix));
        name += XP_T(':');
        name += Widen(state, localName, Length(localName));
        ok = state->document->StartElement(name.data(), name.size(), space);
    } else {
        const XpPlatformString& name = Widen(state, localName, Length(localName));
        ok = state->document->StartElement(name.data(), name.size(), space);
    }
    if (!ok) Stop(context, state);
}

void OnEndElement(void* context, const xmlChar*, const xmlChar*, const xmlChar*)
{
    SaxState* state = StateOf(context);
    if (!state->document->EndElement()) Stop(context, state);
}

void OnCharacters(void* context, const xmlChar* text, int length)
{
    SaxState* state = StateOf(context);
    const XpPlatformString& wide = Widen(state, text, static_cast<size_t>(length));
    if (!state->document->AddText(wide.data(), wide.size())) Stop(context, state);
}

void AddNode(void* context, uint8_t kind, const xmlChar* text, size_t length)
{
    SaxState* state = StateOf(context);
    const XpPlatformString& wide = Widen(state, text, length);
    if (!state->document->AddNode(kind, wide.data(), wide.size())) Stop(context, state);
}

void OnCData(void* context, const xmlChar* text, int length)
{
    AddNode(context, XpXmlKind::CData, text, static_cast<size_t>(length));
}

void OnComment(void* context, const xmlChar* text)
{
    AddNode(context, XpXmlKind::Comment, text, Length(text));
}

void OnProcessingInstruction(void* context, const xmlChar*, const xmlChar* data)
{
    AddNode(context, XpXmlKind::Other, data, Length(data));
}

// No external entity or subset is ever fetched.
xmlParserInputPtr OnResolveEntity(void*, const xmlChar*, const xmlChar*)
{
    return nullptr;
}

void OnError(void*, xmlErrorPtr) {}

uint32_t Parse(const char* bytes, size_t size, bool ignoreDeclaredEncoding, XpXmlDocument& document)
{
    static std::once_flag initialised;
    std::call_once(initialised, [] { xmlInitParser(); });

    document.Reset(size);
    if (document.Failed()) return XpXmlError::OutOfMemory;
    if (size == 0 || size > XpXmlDocument::kMaxDocumentSize) return XpXmlError::NotParsed;
    xmlParserCtxtPtr context = xmlCreateMemoryParserCtxt(bytes, static_cast<int>(size));
    if (!context) return XpXmlError::OutOfMemory;
    int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
    if (ignoreDeclaredEncoding) options |= XML_PARSE_IGNORE_ENC;
    xmlCtxtUseOptions(context, options);

    xmlSAXHandler handler;
    std::memset(&handler, 0, sizeof(handler));
    xmlSAXVersion(&handler, 2);
    handler.startElement = nullptr;
    handler.endElement = nullptr;
    handler.startElementNs = OnStartElement;
    handler.endElementNs = OnEndElement;
    handler.characters = OnCharacters;
    handler.ignorableWhitespace = OnCharacters;
    handler.cdataBlock = OnCData;
    handler.comment = OnComment;
    handler.processingInstruction = OnProcessingInstruction;
    handler.reference = nullptr;
    handler.resolveEntity = OnResolveEntity;
    handler.externalSubset = nullptr;
    handler.warning = nullptr;
    handler.error = nullptr;
    handler.fatalError = nullptr;
    handler.serror = OnError;
    *context->sax = handler;

    SaxState state{&document, context, XpPlatformString()};
    context->_private = &state;
    xmlParseDocument(context);
    const bool wellFormed = context->wellFormed != 0;
    if (context->myDoc) xmlFreeDoc(context->myDoc);
    context->myDoc = nullptr;
    xmlFreeParserCtxt(context);

    const bool built = document.Finish();
    if (document.OutOfMemory()) return XpXmlError::OutOfMemory;
    if (!wellFormed || !built) return XpXmlError::NotParsed;
    return 0;
}

}  // namespace

uint32_t XpPlatformXmlParseFile(const XpChar* path, XpXmlDocument& document)
{
    const int fd = open(XpPosixToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return XpXmlError::NotParsed;
    std::string bytes;
    struct stat status;
    bool ok = fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
              static_cast<uint64_t>(status.st_size) <= XpXmlDocument::kMaxDocumentSize;
    if (ok) {
        try {
            bytes.resize(static_cast<size_t>(status.st_size));
        } catch (const std::bad_alloc&) {
            close(fd);
            return XpXmlError::OutOfMemory;
        }
        size_t done = 0;
        while (ok && done < bytes.size()) {
            const ssize_t n = read(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            ok = n > 0;
            if (ok) done += static_cast<size_t>(n);
        }
    }
    close(fd);
    if (!ok) return XpXmlError::NotParsed;
    return Parse(bytes.data(), bytes.size(), false, document);
}

uint32_t XpPlatformXmlParseText(const XpChar* text, XpXmlDocument& document)
{
    size_t length = 0;
    while (text[length] != 0) {
        if (++length > XpXmlDocument::kMaxDocumentSize) return XpXmlError::NotParsed;
    }
    std::string bytes;
    try {
        bytes = XpPosixToUtf8(text, static_cast<std::ptrdiff_t>(length));
    } catch (const std::bad_alloc&) {
        return XpXmlError::OutOfMemory;
    }
    return Parse(bytes.data(), bytes.size(), true, document);
}

uint32_t XpPlatformXmlWriteFile(const XpChar* path, const XpChar* text, size_t length)
{
    std::string bytes;
    try {
        bytes = XpPosixToUtf8(text, static_cast<std::ptrdiff_t>(length));
    } catch (const std::bad_alloc&) {
        return XpWinError::NotEnoughMemory;
    }
    const std::string target = XpPosixToUtf8(path);
    // The new file takes over the old one's permissions.
    mode_t mode = 0666;
    bool keepMode = false;
    struct stat status;
    if (stat(target.c_str(), &status) == 0) {
        if (S_ISDIR(status.st_mode)) return XpWinError::AccessDenied;
        mode = status.st_mode & 07777;
        keepMode = true;
    }
    std::string temporary;
    int fd = -1;
    for (unsigned attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = target + ".~" + std::to_string(getpid()) + "-" + std::to_string(attempt);
        fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd < 0 && errno != EEXIST) return XpPosixWinError(errno, target);
    }
    if (fd < 0) return XpWinError::AccessDenied;
    if (keepMode) fchmod(fd, mode);
    size_t done = 0;
    int error = 0;
    while (error == 0 && done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
            error = n < 0 ? errno : ENOSPC;
        else
            done += static_cast<size_t>(n);
    }
    if (error == 0 && fsync(fd) != 0) error = errno;
    if (close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && rename(temporary.c_str(), target.c_str()) != 0) error = errno;
    if (error != 0) {
        unlink(temporary.c_str());
        return XpPosixWinError(error, target);
    }
    return 0;
}
