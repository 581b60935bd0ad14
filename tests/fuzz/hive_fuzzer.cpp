// Parses arbitrary bytes as a machine hive. Whatever the index accepts (its quick checks
// included), the general parser must load too, and the model must write it back to a
// text that parses to the same keys and values, all found again by the lookups that
// reads use. Whatever does not parse must leave a hive file of those bytes exactly as it
// was when a change is asked for.

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/PlatformErrors.h"
#include "platform/PlatformRegistry.h"
#include "platform/posix/PosixRegistryStore.h"
#include "platform/shared/RegistryHive.h"
#include "platform/shared/RegistryHiveModel.h"

namespace {

const XpHiveRoot kRoot{XP_T("HKEY_LOCAL_MACHINE"), XP_T("HKLM")};

void Check(bool condition)
{
    if (!condition) __builtin_trap();
}

XpHiveImage Parse(const void* data, size_t size)
{
    std::vector<char16_t> storage(size / 2 + 1);
    if (size > 0) __builtin_memcpy(storage.data(), data, size);
    return XpHiveImage(std::move(storage), size, kRoot);
}

bool SameValue(const XpHiveValue& a, const XpHiveValue& b)
{
    return a.name == b.name && a.type == b.type && a.data == b.data;
}

void CheckRoundTrip(const XpHiveModel& model)
{
    const std::string text = model.Serialize(kRoot);
    const XpHiveImage again = Parse(text.data(), text.size());
    Check(again.IsValid());
    XpHiveModel second;
    Check(again.ToModel(second));
    const std::vector<XpHiveKey>& keys = model.GetKeys();
    Check(second.GetKeys().size() == keys.size());
    for (size_t k = 0; k < keys.size(); ++k) {
        const XpHiveKey& key = keys[k];
        Check(second.GetKeys()[k].path == key.path);
        Check(second.GetKeys()[k].values.size() == key.values.size());
        Check(again.KeyExists(key.path));
        for (size_t v = 0; v < key.values.size(); ++v) {
            Check(SameValue(second.GetKeys()[k].values[v], key.values[v]));
            XpHiveValue found;
            Check(again.FindValue(key.path, key.values[v].name.c_str(), &found));
            Check(SameValue(found, key.values[v]));
        }
    }
}

// A change to a hive file that does not parse fails and leaves the file as it was. The
// hive's folder exists only for the check, so that nothing stays behind when the fuzzer
// ends.
char g_folder[] = "/tmp/kestrow-hive-fuzz-XXXXXX";

void CheckNeverRewritten(const uint8_t* data, size_t size)
{
    Check(mkdir(g_folder, 0700) == 0);
    const std::string hive = std::string(g_folder) + "/machine.reg";
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    {
        std::ofstream out(hive, std::ios::binary | std::ios::trunc);
        out << bytes;
    }
    const uint8_t probe = 1;
    Check(XpPlatformRegSetValue(XpRegRoot::LocalMachine, XP_T("Probe"), XpRegType::Binary, &probe, 1) ==
          XpWinError::BadDb);
    XpRegKey key = kXpRegNoKey;
    Check(XpPlatformRegCreateKey(XpRegRoot::LocalMachine, XP_T("Made"), XpRegAccess::Write, &key) == XpWinError::BadDb);
    std::ifstream in(hive, std::ios::binary);
    Check(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()) == bytes);
    for (const char* suffix : {"", ".lock", ".tmp"}) unlink((hive + suffix).c_str());
    Check(rmdir(g_folder) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // A free name, kept for every check.
    Check(mkdtemp(g_folder) != nullptr && rmdir(g_folder) == 0);
    setenv("NORVALE_REGISTRY_DIR", g_folder, 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const XpHiveImage image = Parse(data, size);
    XpHiveValue value;
    image.FindValue(XpPlatformString(XP_T("Software")), XP_T("A"), &value);
    XpHiveModel model;
    if (image.ToModel(model)) {
        Check(image.IsValid());
        CheckRoundTrip(model);
    } else {
        Check(!image.IsValid() && !image.KeyExists(XpPlatformString(XP_T("Software"))));
        CheckNeverRewritten(data, size);
    }
    return 0;
}
