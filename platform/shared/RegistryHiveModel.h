#pragma once
// A whole hive in memory, for a change: every key with a section of its own in file
// order, each with its values. Keys above a section exist implicitly, as regedit makes
// them when it imports the file. Serialize writes the regedit export format again:
// every value keeps its type and its bytes exactly (a REG_SZ without terminator, a
// REG_DWORD of 2 bytes, a value of zero bytes), through the quoted or dword: form where
// that gives the same bytes back and the hex(type): form everywhere else.

#include <string>
#include <unordered_map>
#include <vector>

#include "platform/shared/RegistryHive.h"

struct XpHiveKey {
    XpPlatformString path;  // canonical, below the root; empty for the root itself
    std::vector<XpHiveValue> values;
};

class XpHiveModel {
public:
    XpHiveEncoding GetEncoding() const { return m_encoding; }
    void SetEncoding(XpHiveEncoding encoding) { m_encoding = encoding; }
    const std::vector<XpHiveKey>& GetKeys() const { return m_keys; }

    bool KeyExists(const XpPlatformString& path) const;
    // Gives the key a section of its own; false when it had one already.
    bool CreateKey(const XpPlatformString& path);
    // Sets the value in the key's section (made when the key had none).
    void SetValue(const XpPlatformString& path, XpHiveValue value);
    // False when there was no such value.
    bool DeleteValue(const XpPlatformString& path, const XpPlatformString& name);
    // Removes the key and everything below it; for the root, every key and value. False
    // when nothing was there.
    bool DeleteTree(const XpPlatformString& path);

    // The file's bytes. A REGEDIT4 hive is written as "Windows Registry Editor Version
    // 5.00" in UTF-8; a UTF-8 hive whose names UTF-8 cannot carry (unpaired surrogates)
    // is written in UTF-16.
    std::string Serialize(const XpHiveRoot& root) const;

private:
    XpHiveKey* FindKey(const XpPlatformString& path);
    void Reindex();
    static XpPlatformString Folded(const XpPlatformString& text);

    XpHiveEncoding m_encoding = XpHiveEncoding::Utf16;
    std::vector<XpHiveKey> m_keys;
    std::unordered_map<XpPlatformString, std::size_t> m_index;  // folded path -> key
};
