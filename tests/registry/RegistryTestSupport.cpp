#include "RegistryTestSupport.h"

namespace kestrow_test {

Bytes Utf16Bytes(const XpChar* text, bool terminator)
{
    Bytes bytes;
    for (std::size_t i = 0;; ++i) {
        const uint16_t unit = static_cast<uint16_t>(text[i]);
        if (unit == 0 && !terminator) break;
        bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<uint8_t>(unit >> 8));
        if (unit == 0) break;
    }
    return bytes;
}

std::string Utf16File(const std::string& ascii)
{
    std::string bytes = "\xFF\xFE";
    for (const char c : ascii) {
        bytes += c;
        bytes += '\0';
    }
    return bytes;
}

void RegistryTest::SetUp()
{
    TempFolderTest::SetUp();
#if !defined(_WIN32)
    m_environment.Set("NORVALE_REGISTRY_DIR", Native("registry").string());
#endif
    const std::string base = "Software\\KestrowTest-" + RandomTag();
    m_base.assign(base.begin(), base.end());
}

void RegistryTest::TearDown()
{
    XpPlatformRegDeleteTree(XpRegRoot::CurrentUser, m_base.c_str());
    XpPlatformRegDeleteTree(XpRegRoot::LocalMachine, m_base.c_str());
#if !defined(_WIN32)
    m_environment.Restore();
#endif
    XpPlatformRegForgetCachedHives();
    TempFolderTest::TearDown();
}

XpPlatformString RegistryTest::Key(const std::string& relative) const
{
    XpPlatformString key = m_base;
    if (!relative.empty()) {
        key += XpChar('\\');
        key.append(relative.begin(), relative.end());
    }
    return key;
}

XpString RegistryTest::XpKey(const std::string& relative) const
{
    const XpPlatformString key = Key(relative);
    return XpString(key.c_str(), static_cast<int32_t>(key.size()));
}

void RegistryTest::CreateKey(XpRegKey root, const XpPlatformString& key)
{
    XpRegKey handle = kXpRegNoKey;
    ASSERT_EQ(XpPlatformRegCreateKey(root, key.c_str(), XpRegAccess::Read | XpRegAccess::Write, &handle), 0u);
    XpPlatformRegCloseKey(handle);
}

void RegistryTest::SetValue(XpRegKey root, const XpPlatformString& key, const XpChar* name, uint32_t type,
                            const Bytes& data)
{
    XpRegKey handle = kXpRegNoKey;
    ASSERT_EQ(XpPlatformRegCreateKey(root, key.c_str(), XpRegAccess::Read | XpRegAccess::Write, &handle), 0u);
    // Windows adds the terminator of a string value when the unit after the data is 0
    // (a caller that forgot to count it): a non-zero unit there keeps the bytes as given.
    Bytes buffer = data;
    buffer.insert(buffer.end(), {0xFF, 0xFF, 0xFF});
    EXPECT_EQ(XpPlatformRegSetValue(handle, name, type, buffer.data(), static_cast<uint32_t>(data.size())), 0u);
    XpPlatformRegCloseKey(handle);
}

void RegistryTest::SetString(XpRegKey root, const XpPlatformString& key, const XpChar* name, const XpChar* text)
{
    SetValue(root, key, name, XpRegType::Sz, Utf16Bytes(text));
}

bool RegistryTest::KeyExists(XpRegKey root, const XpPlatformString& key) const
{
    XpRegKey handle = kXpRegNoKey;
    if (XpPlatformRegOpenKey(root, key.c_str(), XpRegAccess::Read, &handle) != 0) return false;
    XpPlatformRegCloseKey(handle);
    return true;
}

bool RegistryTest::ReadValue(XpRegKey root, const XpPlatformString& key, const XpChar* name, uint32_t* type,
                             Bytes* data) const
{
    XpRegKey handle = kXpRegNoKey;
    if (XpPlatformRegOpenKey(root, key.c_str(), XpRegAccess::Read, &handle) != 0) return false;
    uint32_t size = 0;
    bool found = XpPlatformRegQueryValue(handle, name, nullptr, nullptr, &size) == 0;
    if (found) {
        data->assign(size, 0xCC);
        found = XpPlatformRegQueryValue(handle, name, type, data->data(), &size) == 0;
        data->resize(size);
    }
    XpPlatformRegCloseKey(handle);
    return found;
}

}  // namespace kestrow_test
