// The XML parser on Windows: an MSXML DOM document per call, its tree walked into the
// XpXmlDocument. The version-4 document is taken from "msxml4.dll" through its class
// factory when the library is there (no registration needed), else the registered DOM
// document. The document keeps every blank text (the XpXmlDocument applies the one rule
// for blanks on both targets), loads synchronously and resolves nothing external.

#include <msxml2.h>
#include <oleauto.h>
#include <windows.h>

#include <new>
#include <string>
#include <vector>

#include "platform/PlatformErrors.h"
#include "platform/PlatformXml.h"

namespace {

// {88D969C0-F192-11D4-A65F-0040963251E5}: the version-4 DOM document.
constexpr GUID kClsidDomDocument40 = {0x88D969C0, 0xF192, 0x11D4, {0xA6, 0x5F, 0x00, 0x40, 0x96, 0x32, 0x51, 0xE5}};
// {2933BF90-7B36-11D2-B20E-00C04F983E60}: the system's registered DOM document.
constexpr GUID kClsidDomDocument = {0x2933BF90, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
constexpr GUID kIidClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr GUID kIidDomDocument = {0x2933BF81, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
constexpr GUID kIidDomElement = {0x2933BF86, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

using GetClassObjectFunction = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);

template <class T>
void Release(T*& object)
{
    if (object) object->Release();
    object = nullptr;
}

IXMLDOMDocument* CreateDocument(HMODULE library)
{
    IXMLDOMDocument* document = nullptr;
    if (library) {
        auto getClassObject = reinterpret_cast<GetClassObjectFunction>(
            reinterpret_cast<void (*)()>(GetProcAddress(library, "DllGetClassObject")));
        IClassFactory* factory = nullptr;
        if (getClassObject &&
            SUCCEEDED(getClassObject(kClsidDomDocument40, kIidClassFactory, reinterpret_cast<void**>(&factory))) &&
            factory) {
            if (FAILED(factory->CreateInstance(nullptr, kIidDomDocument, reinterpret_cast<void**>(&document))))
                document = nullptr;
            Release(factory);
        }
    }
    if (!document && FAILED(CoCreateInstance(kClsidDomDocument, nullptr, CLSCTX_INPROC_SERVER, kIidDomDocument,
                                             reinterpret_cast<void**>(&document))))
        document = nullptr;
    return document;
}

// What the element's xml:space attribute asks for.
int SpaceOf(IXMLDOMNode* node)
{
    IXMLDOMElement* element = nullptr;
    if (FAILED(node->QueryInterface(kIidDomElement, reinterpret_cast<void**>(&element))) || !element)
        return XpXmlSpace::Inherit;
    int space = XpXmlSpace::Inherit;
    BSTR name = SysAllocString(L"xml:space");
    VARIANT value;
    VariantInit(&value);
    if (name && element->getAttribute(name, &value) == S_OK && value.vt == VT_BSTR && value.bstrVal) {
        if (lstrcmpW(value.bstrVal, L"preserve") == 0)
            space = XpXmlSpace::Preserve;
        else if (lstrcmpW(value.bstrVal, L"default") == 0)
            space = XpXmlSpace::Default;
    }
    VariantClear(&value);
    SysFreeString(name);
    Release(element);
    return space;
}

bool AddValue(IXMLDOMNode* node, uint8_t kind, XpXmlDocument& document)
{
    VARIANT value;
    VariantInit(&value);
    bool ok = true;
    if (SUCCEEDED(node->get_nodeValue(&value)) && value.vt == VT_BSTR) {
        const XpChar* text = value.bstrVal ? value.bstrVal : L"";
        const size_t length = value.bstrVal ? SysStringLen(value.bstrVal) : 0;
        ok = kind == XpXmlKind::Text ? document.AddText(text, length) : document.AddNode(kind, text, length);
    } else {
        ok = kind == XpXmlKind::Text || document.AddNode(kind, L"", 0);
    }
    VariantClear(&value);
    return ok;
}

bool StartElement(IXMLDOMNode* node, XpXmlDocument& document)
{
    BSTR name = nullptr;
    if (FAILED(node->get_nodeName(&name)) || !name) return false;
    const bool ok = document.StartElement(name, SysStringLen(name), SpaceOf(node));
    SysFreeString(name);
    return ok;
}

// The text property: all text below the node, references expanded.
std::wstring TextOf(IXMLDOMNode* node)
{
    BSTR text = nullptr;
    if (FAILED(node->get_text(&text)) || !text) return std::wstring();
    std::wstring result(text, SysStringLen(text));
    SysFreeString(text);
    return result;
}

// One child to walk, or a run of text taken as a whole.
struct Item {
    IXMLDOMNode* node;
    DOMNodeType type;
    bool run;
    std::wstring text;
};

bool IsOpaqueReference(const Item& item)
{
    if (item.type != NODE_ENTITY_REFERENCE) return false;
    IXMLDOMNode* child = nullptr;
    item.node->get_firstChild(&child);
    const bool opaque = child == nullptr;
    Release(child);
    return opaque;
}

// How much of the parent's text the item gives; -1 for a run.
size_t KnownLength(const Item& item)
{
    switch (item.type) {
        case NODE_ELEMENT:
        case NODE_ENTITY_REFERENCE:
        case NODE_TEXT:
        case NODE_CDATA_SECTION:
            return TextOf(item.node).size();
        default:
            return 0;
    }
}

// Some parsers (Wine's) give entity references without their content, while the text of
// the parent holds it. Each run of texts that holds such a reference is then taken from
// the parent's text as one text: the lengths of the other children place it.
void ResolveOpaqueRuns(IXMLDOMNode* parent, std::vector<Item>& items)
{
    struct Segment {
        size_t first, last;  // items
        bool run;
        size_t length;
    };
    std::vector<Segment> segments;
    for (size_t i = 0; i < items.size(); ++i) {
        const bool runPart = items[i].type == NODE_TEXT || IsOpaqueReference(items[i]);
        if (runPart && !segments.empty() && segments.back().run && segments.back().last + 1 == i) {
            segments.back().last = i;
            continue;
        }
        segments.push_back(Segment{i, i, runPart, runPart ? 0 : KnownLength(items[i])});
    }
    const std::wstring whole = TextOf(parent);
    size_t position = 0;
    for (size_t k = 0; k < segments.size(); ++k) {
        Segment& segment = segments[k];
        if (!segment.run) {
            position += segment.length;
            continue;
        }
        // The run ends where the known text after it begins: by the lengths when no other
        // run follows, else at the first place that text is found.
        size_t end = whole.size();
        size_t after = 0;
        bool otherRun = false;
        for (size_t j = k + 1; j < segments.size() && !otherRun; ++j) {
            otherRun = segments[j].run;
            if (!otherRun) after += segments[j].length;
        }
        if (!otherRun) {
            end = whole.size() >= after ? whole.size() - after : position;
        } else if (k + 1 < segments.size() && !segments[k + 1].run) {
            const std::wstring next = TextOf(items[segments[k + 1].first].node);
            const size_t found = next.empty() ? position : whole.find(next, position);
            end = found == std::wstring::npos ? position : found;
        }
        if (end < position) end = position;
        Item run{nullptr, NODE_TEXT, true, whole.substr(position, end - position)};
        position = end;
        for (size_t i = segment.first; i <= segment.last; ++i) Release(items[i].node);
        items[segment.first] = std::move(run);
    }
    std::vector<Item> kept;
    for (Item& item : items)
        if (item.node || item.run) kept.push_back(std::move(item));
    items.swap(kept);
}

std::vector<Item> ChildrenOf(IXMLDOMNode* parent)
{
    std::vector<Item> items;
    IXMLDOMNode* child = nullptr;
    parent->get_firstChild(&child);
    bool opaque = false;
    while (child) {
        Item item{child, NODE_INVALID, false, std::wstring()};
        child->get_nodeType(&item.type);
        opaque = opaque || IsOpaqueReference(item);
        items.push_back(std::move(item));
        child = nullptr;
        items.back().node->get_nextSibling(&child);
    }
    if (opaque) ResolveOpaqueRuns(parent, items);
    return items;
}

// The DOM below the document element, in document order, without recursion. Entity
// references stand for their content: their children are walked in their place.
bool Walk(IXMLDOMDocument* dom, XpXmlDocument& document)
{
    IXMLDOMElement* root = nullptr;
    if (FAILED(dom->get_documentElement(&root)) || !root) return document.Finish();
    struct Frame {
        std::vector<Item> items;
        size_t next;
        bool element;
    };
    std::vector<Frame> stack;
    bool ok = StartElement(root, document);
    if (ok) stack.push_back(Frame{ChildrenOf(root), 0, true});
    Release(root);
    while (ok && !stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next == frame.items.size()) {
            const bool element = frame.element;
            stack.pop_back();
            if (element) ok = document.EndElement();
            continue;
        }
        Item& item = frame.items[frame.next++];
        IXMLDOMNode* node = item.node;
        item.node = nullptr;
        if (item.run) {
            ok = document.AddText(item.text.data(), item.text.size());
            continue;
        }
        switch (item.type) {
            case NODE_ELEMENT:
                ok = StartElement(node, document);
                stack.push_back(Frame{ChildrenOf(node), 0, true});
                break;
            case NODE_TEXT:
                ok = AddValue(node, XpXmlKind::Text, document);
                break;
            case NODE_CDATA_SECTION:
                ok = AddValue(node, XpXmlKind::CData, document);
                break;
            case NODE_COMMENT:
                ok = AddValue(node, XpXmlKind::Comment, document);
                break;
            case NODE_ENTITY_REFERENCE:
                stack.push_back(Frame{ChildrenOf(node), 0, false});
                ok = stack.size() <= 4 * XpXmlDocument::kMaxDepth;
                break;
            default:
                ok = AddValue(node, XpXmlKind::Other, document);
                break;
        }
        Release(node);
    }
    for (Frame& frame : stack)
        for (Item& item : frame.items) Release(item.node);
    return ok && document.Finish();
}

// One document object for one load, with COM and the library held for that long.
template <class Load>
uint32_t ParseWith(XpXmlDocument& document, Load load)
{
    document.Reset();
    if (document.Failed()) return XpXmlError::OutOfMemory;
    HMODULE library = LoadLibraryW(L"msxml4.dll");
    const HRESULT initialised = CoInitialize(nullptr);
    if (FAILED(initialised) && initialised != RPC_E_CHANGED_MODE) {
        if (library) FreeLibrary(library);
        return XpXmlError::ComInitFailed;
    }
    uint32_t result = XpXmlError::NoDocumentObject;
    if (IXMLDOMDocument* dom = CreateDocument(library)) {
        dom->put_async(VARIANT_FALSE);
        dom->put_validateOnParse(VARIANT_FALSE);
        dom->put_resolveExternals(VARIANT_FALSE);
        dom->put_preserveWhiteSpace(VARIANT_TRUE);
        VARIANT_BOOL loaded = VARIANT_FALSE;
        result = load(dom, &loaded);
        if (result == 0) {
            if (loaded != VARIANT_TRUE)
                result = XpXmlError::NotParsed;
            else if (!Walk(dom, document))
                result = document.OutOfMemory() ? XpXmlError::OutOfMemory : XpXmlError::NotParsed;
        }
        Release(dom);
    }
    if (SUCCEEDED(initialised)) CoUninitialize();
    if (library) FreeLibrary(library);
    return result;
}

}  // namespace

uint32_t XpPlatformXmlParseFile(const XpChar* path, XpXmlDocument& document)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || data.nFileSizeHigh != 0 ||
        data.nFileSizeLow > XpXmlDocument::kMaxDocumentSize) {
        document.Reset();
        return XpXmlError::NotParsed;
    }
    return ParseWith(document, [path](IXMLDOMDocument* dom, VARIANT_BOOL* loaded) -> uint32_t {
        VARIANT source;
        VariantInit(&source);
        source.vt = VT_BSTR;
        source.bstrVal = SysAllocString(path);
        if (!source.bstrVal) return XpXmlError::OutOfMemory;
        if (FAILED(dom->load(source, loaded))) *loaded = VARIANT_FALSE;
        VariantClear(&source);
        return 0;
    });
}

uint32_t XpPlatformXmlParseText(const XpChar* text, XpXmlDocument& document)
{
    size_t length = 0;
    while (text[length] != 0) {
        if (++length > XpXmlDocument::kMaxDocumentSize) {
            document.Reset();
            return XpXmlError::NotParsed;
        }
    }
    return ParseWith(document, [text, length](IXMLDOMDocument* dom, VARIANT_BOOL* loaded) -> uint32_t {
        BSTR source = SysAllocStringLen(text, static_cast<UINT>(length));
        if (!source) return XpXmlError::OutOfMemory;
        if (FAILED(dom->loadXML(source, loaded))) *loaded = VARIANT_FALSE;
        SysFreeString(source);
        return 0;
    });
}

uint32_t XpPlatformXmlWriteFile(const XpChar* path, const XpChar* text, size_t length)
{
    std::string bytes;
    if (length > 0) {
        if (length > 0x7FFFFFFF) return ERROR_NOT_ENOUGH_MEMORY;
        const int size = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
        if (size <= 0) return GetLastError();
        try {
            bytes.resize(static_cast<size_t>(size));
        } catch (const std::bad_alloc&) {
            return ERROR_NOT_ENOUGH_MEMORY;
        }
        WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), bytes.data(), size, nullptr, nullptr);
    }
    const DWORD attributes = GetFileAttributesW(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return XpWinError::AccessDenied;
    std::wstring temporary;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (unsigned attempt = 0; file == INVALID_HANDLE_VALUE && attempt < 100; ++attempt) {
        temporary =
            std::wstring(path) + L".~" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(attempt);
        file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) return GetLastError();
    }
    if (file == INVALID_HANDLE_VALUE) return XpWinError::AccessDenied;
    size_t done = 0;
    DWORD error = 0;
    while (error == 0 && done < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(bytes.size() - done);
        DWORD written = 0;
        if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr))
            error = GetLastError();
        else if (written == 0)
            error = ERROR_DISK_FULL;
        done += written;
    }
    if (error == 0 && !FlushFileBuffers(file)) error = GetLastError();
    CloseHandle(file);
    if (error == 0 && !MoveFileExW(temporary.c_str(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        error = GetLastError();
    if (error != 0) DeleteFileW(temporary.c_str());
    return error;
}
