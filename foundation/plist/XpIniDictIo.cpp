// The XML form of a root dictionary: loading from and saving to a file, a text and the
// clipboard. Parsing is the platform's XML service; the document text is written here,
// complete, before any file or clipboard is touched.

#include <string>

#include "foundation/files/XpFile.h"
#include "foundation/plist/XpIniDict.h"
#include "foundation/plist/XpIniReader.h"
#include "foundation/plist/XpIniWriter.h"
#include "platform/PlatformClipboard.h"
#include "platform/PlatformErrors.h"
#include "platform/PlatformFiles.h"
#include "platform/PlatformXml.h"

namespace {

const XpChar* OrEmpty(const XpChar* text)
{
    return text ? text : XP_T("");
}

// After a failed load of a file: the file layer's code when the file cannot be opened
// for reading, otherwise the load's own code.
XpResult CheckReadable(const XpChar* path, XpResult code)
{
    XpFile file(path);
    const XpResult rc = file.Open(XpFileFlag::Read, XpFileOpen::ShareRead | XpFileOpen::ShareWrite);
    if (rc != XpRc::Ok) return rc;
    file.Close();
    return code;
}

// Reads a parsed document into the dictionary. path: the file it came from, for the
// file check; null for a text.
XpResult ReadParsed(XpIniDict& dict, uint32_t parseError, const XpXmlDocument& document, const XpChar* path)
{
    switch (parseError) {
        case 0:
            break;
        case XpXmlError::OutOfMemory:
            return XpRc::OutOfMemory;
        case XpXmlError::ComInitFailed:
            return XpRc::PlistComInit;
        case XpXmlError::NoDocumentObject:
            return XpRc::PlistNoDocument;
        default:
            return path ? CheckReadable(path, XpRc::PlistNotParsed) : XpRc::PlistNotParsed;
    }
    const XpResult rc = XpIniReadDocument(document, dict);
    if (rc == XpRc::PlistFailed && path) return CheckReadable(path, rc);
    return rc;
}

// A save may replace the file only when it can be opened for writing and is not marked
// read-only (whoever runs the program); a missing file may be made. The test leaves the
// file as it is.
XpResult CheckWritable(const XpChar* path)
{
    uint32_t attributes = 0;
    if (XpPlatformGetAttributes(path, &attributes) == XpWinError::Success &&
        (attributes & (XpFileAttr::ReadOnly | XpFileAttr::Directory)) == XpFileAttr::ReadOnly)
        return XpRc::AccessDenied;
    XpFileHandle handle = kXpInvalidFileHandle;
    const uint32_t error = XpPlatformCreateFile(
        path, XpFileOpen::GenericWrite, XpFileOpen::ShareRead | XpFileOpen::ShareWrite | XpFileOpen::ShareDelete,
        XpFileOpen::OpenExisting, XpFileAttr::Normal, &handle);
    if (error == XpWinError::Success) {
        XpPlatformCloseFile(handle);
        return XpRc::Ok;
    }
    if (error == XpWinError::FileNotFound) return XpRc::Ok;
    const XpResult rc = XpMapWindowsError(error);
    return XpIsGenericFailure(rc) ? XpRc::NoSuchFile : rc;
}

XpResult ClipboardResult(uint32_t error)
{
    if (error == 0) return XpRc::Ok;
    return error == XpClipboardError::OutOfMemory ? XpRc::OutOfMemory : XpRc::Failure;
}

}  // namespace

XpResult XpIniDict::LoadFromFile(const XpChar* path)
{
    path = OrEmpty(path);
    RemoveAll();
    XpXmlDocument document;
    const uint32_t error = XpPlatformXmlParseFile(path, document);
    return ReadParsed(*this, error, document, path);
}

XpResult XpIniDict::LoadFromString(const XpChar* xml)
{
    RemoveAll();
    XpXmlDocument document;
    const uint32_t error = XpPlatformXmlParseText(OrEmpty(xml), document);
    return ReadParsed(*this, error, document, nullptr);
}

XpResult XpIniDict::LoadFromClipboard(uint32_t format)
{
    XpPlatformString text;
    const XpResult rc = ClipboardResult(XpPlatformClipboardGetText(format, text));
    if (rc != XpRc::Ok) return rc;
    RemoveAll();
    XpXmlDocument document;
    const uint32_t error = XpPlatformXmlParseText(text.c_str(), document);
    return ReadParsed(*this, error, document, nullptr);
}

XpResult XpIniDict::SaveToFile(const XpChar* path) const
{
    path = OrEmpty(path);
    std::basic_string<XpChar> text;
    XpResult rc = XpIniWriteDocument(*this, XpIniForm::File, text);
    if (rc != XpRc::Ok) return rc;
    rc = CheckWritable(path);
    if (rc != XpRc::Ok) return rc;
    const uint32_t error = XpPlatformXmlWriteFile(path, text.data(), text.size());
    if (error == XpWinError::Success) return XpRc::Ok;
    rc = XpMapWindowsError(error);
    return XpIsGenericFailure(rc) ? XpRc::PlistFailed : rc;
}

XpResult XpIniDict::SaveToString(XpString& xml) const
{
    std::basic_string<XpChar> text;
    const XpResult rc = XpIniWriteDocument(*this, XpIniForm::Text, text);
    if (rc != XpRc::Ok) return rc;
    const XpString copy(text.c_str(), static_cast<int32_t>(text.size()));
    if (static_cast<size_t>(copy.GetLength()) != text.size()) return XpRc::OutOfMemory;
    xml = copy;
    return XpRc::Ok;
}

XpResult XpIniDict::SaveToClipboard(uint32_t format) const
{
    std::basic_string<XpChar> text;
    const XpResult rc = XpIniWriteDocument(*this, XpIniForm::Text, text);
    if (rc != XpRc::Ok) return rc;
    return ClipboardResult(XpPlatformClipboardSetText(format, text.data(), text.size()));
}
