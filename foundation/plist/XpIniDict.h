#pragma once
// XpIniDict: a dictionary of elements keyed by text, in the ordinal order of the keys
// (16-bit code units compared as unsigned numbers, case-sensitive). A root dictionary
// also reads and writes the XML form of the whole tree: from and to a file, a text and
// the clipboard.
//
// The XML form: the root element "plist" (version "1.0") holding one "dict"; every entry
// a "key" element followed by its value's element ("true", "false", "integer", "real",
// "string", "data", "date", "array", "dict"). Reading is tolerant below the root
// dictionary: a bad value costs only its own entry. Saving writes the whole document
// first and replaces the file (or the clipboard) only once it is complete, so a failed
// save leaves the old content untouched.

#include <map>

#include "foundation/plist/XpIniElement.h"

// Orders keys and compares them with runs of characters without making strings of them.
struct XpIniKeyLess {
    using is_transparent = void;
    bool operator()(const XpString& left, const XpString& right) const;
    bool operator()(const XpString& left, const XpIniKeyView& right) const;
    bool operator()(const XpIniKeyView& left, const XpString& right) const;
};

class XpIniDict : public XpIniElement {
public:
    XpIniDict() = default;
    // Removes and destroys the entries one by one.
    ~XpIniDict() override;

    int Count() const override;
    XpIniElement* Find(const XpChar* path) const override;
    XpResult Remove(const XpChar* path) override;
    // Empties the dictionary, then reads the document in the file into it.
    XpResult LoadFromFile(const XpChar* path) override;
    XpResult SaveToFile(const XpChar* path) const override;
    XpResult AddNew(const XpChar* path, uint32_t type, XpIniInitial initial) override;
    // AddNew under a key that holds no "/", given as a string whose buffer the entry
    // shares; *created gets the new element (null on failure).
    XpResult AddNewUnder(const XpString& key, uint32_t type, XpIniInitial initial, XpIniElement** created);
    // The index-th entry in key order; 0x8502 for an index outside 0 ... count - 1.
    XpResult GetEntryAt(int index, XpIniEntry& entry) const override;
    uint32_t GetType() const override { return XpIniType::Dict; }

    // The text in the clipboard format; the dictionary is emptied only once it was read.
    virtual XpResult LoadFromClipboard(uint32_t format);
    virtual XpResult SaveToClipboard(uint32_t format) const;
    // Empties the dictionary, then reads the document in the text into it.
    virtual XpResult LoadFromString(const XpChar* xml);
    // The document as a text; xml is left as it was when the save fails.
    virtual XpResult SaveToString(XpString& xml) const;
    // The index-th element in key order, or null.
    virtual XpIniElement* GetElementAt(int index) const;

    // Destroys every entry.
    void RemoveAll();
    // Set on dictionaries made by CreateRootDict: their holder deletes them.
    bool IsStandalone() const { return m_bStandalone; }

    using Entries = std::map<XpString, XpIniElement*, XpIniKeyLess>;
    const Entries& GetEntries() const { return m_entries; }

private:
    friend XpIniDict* CreateRootDict();
    // The entry with the key, or null.
    XpIniElement* Lookup(const XpIniKeyView& key) const;

    Entries m_entries;
    bool m_bStandalone = false;
};

// An empty dictionary marked as made stand-alone; null when memory is exhausted.
XpIniDict* CreateRootDict();
