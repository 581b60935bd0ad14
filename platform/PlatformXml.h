#pragma once
// The XML parser: reads a document from a file or from a text into an XpXmlDocument
// (platform/shared/XpXmlDocument.h), and writes a finished document's bytes to a file.
// Windows: MSXML through COM, one document object per call: "msxml4.dll" is loaded and
// asked for its version-4 DOM document directly (no registration needed), else the
// registered DOM document is created; COM is initialised for the call and released after
// it. The document loads synchronously, validates nothing and resolves no external
// entity; its DOM is walked into the XpXmlDocument.
// Linux: libxml2 through its SAX interface straight into the XpXmlDocument: no network,
// no DTD loading, no external entity (a document that declares or uses one is read without
// it), the library's own limits on depth and entity expansion left on.
//
// Both: entity and character references decoded; a document larger than
// XpXmlDocument::kMaxDocumentSize, or one that breaks the document's limits, is not taken
// (NotParsed). The callers write the XML text themselves: saving needs no parser, only
// the writing of the text as a file.
//
// Results: 0, or one of the numbers below (Windows error numbers and HRESULTs).

#include <cstddef>
#include <cstdint>

#include "platform/XpChar.h"
#include "platform/shared/XpXmlDocument.h"

namespace XpXmlError {
inline constexpr uint32_t OutOfMemory = 8;                // ERROR_NOT_ENOUGH_MEMORY
inline constexpr uint32_t NotParsed = 13;                 // ERROR_INVALID_DATA: not well-formed, or too large
inline constexpr uint32_t ComInitFailed = 0x800401F0;     // CO_E_NOTINITIALIZED: COM refused this thread
inline constexpr uint32_t NoDocumentObject = 0x80040154;  // REGDB_E_CLASSNOTREG: no DOM document to be had
}  // namespace XpXmlError

// The file's bytes, in the encoding its declaration or byte-order mark names (UTF-8 by
// default). A file that cannot be read is NotParsed: the caller tells why by opening it.
uint32_t XpPlatformXmlParseFile(const XpChar* path, XpXmlDocument& document);
// A zero-terminated text; an encoding named in its declaration is ignored.
uint32_t XpPlatformXmlParseText(const XpChar* text, XpXmlDocument& document);

// Replaces the file's content with the text in UTF-8 (which must hold no unpaired
// surrogate) as one step: it is written to a new file beside it, which then takes the
// file's place, so a failure leaves the old content whole. Windows error numbers.
uint32_t XpPlatformXmlWriteFile(const XpChar* path, const XpChar* text, size_t length);
