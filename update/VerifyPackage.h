#pragma once
// The checks of the verification stage, one function each, so that the stage procedure
// and the kestrow-verify tool run the very same check: the size the server announced, the
// trust check of the signature, the signer's name, and the removal of a package left over
// from an earlier run that failed them.
//
// The extra trusted roots: on Linux, an administrator may name a folder of PEM root
// certificates (*.pem, *.crt) in the machine registry value "TrustedRootsFolder" under
// HKEY_LOCAL_MACHINE\SOFTWARE\Norvale Corporation\Vimbly\Updater, a key that only
// administrators can write. The caller reads it and passes it in; an empty folder means
// the system's store alone. Windows' own trust store decides on Windows.

#include <cstdint>

#include "foundation/text/XpString.h"
#include "platform/XpChar.h"

// The maker's name as its code-signing certificate gives it.
inline constexpr XpChar kExpectedSigner[] = XP_T("Norvale Corporation");

// True when the signer's name is exactly the maker's: a longer name that merely begins
// with it belongs to whoever registered it.
bool IsExpectedSigner(const XpChar* name);

// The size of the file at path, or all ones when it cannot be read.
uint64_t PackageFileSize(const XpString& path);
// True when the file has exactly the announced size: its upper 32 bits are 0 and its
// lower 32 bits are the announced size.
bool HasAnnouncedSize(const XpString& path, uint32_t announced);

// True exactly when the trust check accepts the file's signature.
bool VerifyPackageTrust(const XpString& path, const XpString& extraRoots = XpString());
// True when the file's signer is exactly the maker.
bool VerifyPackageSigner(const XpString& path);

// The whole check as a verdict: accepted only when the trust check passes and the signer
// is the maker. trustError is the trust check's number (0 when it passed), signer the
// signer's display name where one could be read.
struct PackageVerdict {
    bool accepted = false;
    uint32_t trustError = 0;
    XpString signer;
};
PackageVerdict VerifyPackage(const XpString& path, const XpString& extraRoots = XpString());

// Deletes a package that failed, read-only or not. True when it is gone.
bool DeleteFailedPackage(const XpString& path);
