// Where the signed test packages lie: signed-packages/ beside the test program, made at
// build time by make-signed-packages.sh; roots/ in it holds the test CA's root.
#pragma once

#include <filesystem>

#include "TestSupport.h"
#include "foundation/version/XpVersionInfo.h"

namespace kestrow_test {

inline std::filesystem::path SignedPackages()
{
    return ToFs(GetModulePath()).parent_path() / "signed-packages";
}

}  // namespace kestrow_test
