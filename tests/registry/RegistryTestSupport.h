// A private piece of the registry for each test: on Linux, hive files in the test's own
// temporary folder (NORVALE_REGISTRY_DIR); on Windows, the real registry under Wine, in
// keys "Software\KestrowTest-<random>" under both roots that the test removes again.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "foundation/text/XpString.h"
#include "platform/PlatformRegistry.h"

namespace kestrow_test {

using Bytes = std::vector<uint8_t>;

// A text's UTF-16LE bytes, with the terminator when asked for.
Bytes Utf16Bytes(const XpChar* text, bool terminator = true);
// An ASCII text as a UTF-16LE file with its byte-order mark.
std::string Utf16File(const std::string& ascii);

class RegistryTest : public TempFolderTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // "Software\KestrowTest-<tag>", followed by "\" and relative unless it is empty.
    XpPlatformString Key(const std::string& relative = std::string()) const;
    XpString XpKey(const std::string& relative = std::string()) const;

    // Creates the key (and those above it) and sets one value; fails the test otherwise.
    void SetValue(XpRegKey root, const XpPlatformString& key, const XpChar* name, uint32_t type, const Bytes& data);
    void SetString(XpRegKey root, const XpPlatformString& key, const XpChar* name, const XpChar* text);
    void CreateKey(XpRegKey root, const XpPlatformString& key);
    bool KeyExists(XpRegKey root, const XpPlatformString& key) const;
    // The value's type and bytes, read through the platform; false when missing.
    bool ReadValue(XpRegKey root, const XpPlatformString& key, const XpChar* name, uint32_t* type, Bytes* data) const;

    XpPlatformString m_base;
#if !defined(_WIN32)
    ScopedEnvironment m_environment;
#endif
};

}  // namespace kestrow_test
