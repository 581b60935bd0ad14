#pragma once
// The Linux registry keeps each hive in a text file in the regedit export format:
//
//   Windows Registry Editor Version 5.00      (UTF-16LE with byte-order mark, or UTF-8)
//   REGEDIT4                                  (the ANSI code page)
//
//   [HKEY_LOCAL_MACHINE\Software\Norvale Corporation\Vimbly]
//   "InstalledLocation"="/opt/vimbly/"
//   "Flags"=dword:00000001
//   @=hex(2):25,00,00,00
//
// This file reads such text (XpHiveImage) without any system call, so that it is tested
// on every host and fuzzed. Reads look keys and values up in the text itself through an
// index of the key sections built in one pass, so that a read costs little more than
// reading the file; a change goes through the whole-hive model (RegistryHiveModel.h).
//
// A file that does not follow the format in every line does not parse: the image is
// then invalid, holds no key but the root and no value, and the hive is never rewritten.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/XpChar.h"

// How a hive file's text is stored.
enum class XpHiveEncoding { Utf16, Utf8, Ansi };

// The root that a hive file holds: its full name and the short spelling that key
// headers may use instead ("HKEY_LOCAL_MACHINE", "HKLM").
struct XpHiveRoot {
    const XpChar* name;  // ASCII
    const XpChar* shortName;
};

struct XpHiveValue {
    XpPlatformString name;  // empty: the key's default value ("@")
    uint32_t type = 0;
    std::vector<uint8_t> data;
};

// Key and value names compare without regard to case, as Windows compares them: each
// UTF-16 unit is folded to upper case (ASCII, Latin-1, Latin Extended-A, Greek,
// Cyrillic and the full-width Latin letters).
XpChar XpHiveFoldCase(XpChar c);
bool XpHiveSameName(const XpChar* a, const XpChar* b, std::size_t length);
bool XpHiveSameName(const XpPlatformString& a, const XpPlatformString& b);

// Joins a canonical key path and a path that a caller gives, relative to it, into a
// canonical one: single "\" between non-empty names, none at either end. Runs of "\"
// count as one and trailing ones are ignored, as Windows does; a leading "\" fails with
// BadPathname. relative may be null (the key itself).
uint32_t XpHiveJoinPath(const XpPlatformString& base, const XpChar* relative, XpPlatformString& out);

class XpHiveModel;

class XpHiveImage {
public:
    // storage holds the file's byteCount bytes (its units are only a container that
    // keeps UTF-16 text aligned). An empty file is an empty hive.
    XpHiveImage(std::vector<char16_t> storage, std::size_t byteCount, const XpHiveRoot& root);

    bool IsValid() const { return m_valid; }
    XpHiveEncoding GetEncoding() const { return m_encoding; }

    // A key exists when it has a section or any key below it has one; the root always.
    bool KeyExists(const XpPlatformString& path) const;
    // The value as the last of the key's sections that names it gives it.
    bool FindValue(const XpPlatformString& path, const XpChar* name, XpHiveValue* value) const;
    // Every key and value, for a change. False (and the model untouched) when invalid.
    bool ToModel(XpHiveModel& model) const;

private:
    // Offsets in units: a hive file is far below 4 GiB (a larger one does not parse).
    struct Section {
        uint32_t pathBegin;  // the key path after the root and its separator
        uint32_t pathLength;
        uint32_t bodyBegin;  // the value lines up to the next header
        uint32_t bodyEnd;
        uint64_t key;  // of the path folded to upper case, for the table
        bool ascii;    // the path holds 7-bit units only (so units compare one to one)
    };

    // False when any line does not parse.
    template <class U>
    bool Index(const U* text, std::size_t begin, std::size_t end);
    // A key header from its "[" to its line's end.
    template <class U>
    bool IndexHeader(const U* text, std::size_t open, std::size_t lineEnd);
    template <class U>
    XpPlatformString SectionPath(const U* text, const Section& section) const;
    // A table of the sections by the hash of their path (open addressing).
    void BuildTable();
    // Calls visit with each section of exactly that path, in file order.
    template <class U, class Visit>
    void ForEachSection(const U* text, const XpPlatformString& path, Visit visit) const;
    template <class U>
    bool SectionMatches(const U* text, const Section& section, const XpPlatformString& path, bool below) const;
    template <class U>
    bool Find(const U* text, const XpPlatformString& path, const XpChar* name, XpHiveValue* value) const;
    template <class U>
    bool Exists(const U* text, const XpPlatformString& path) const;
    template <class U>
    bool Load(const U* text, XpHiveModel& model) const;

    std::vector<char16_t> m_storage;
    std::size_t m_bytes;
    XpHiveRoot m_root;
    std::string m_rootPrefix;  // the root's name and a separator, as headers mostly begin
    XpHiveEncoding m_encoding = XpHiveEncoding::Utf16;
    bool m_valid = false;
    std::vector<Section> m_sections;
    std::vector<uint32_t> m_slots;  // section index + 1; 0 is free
};
