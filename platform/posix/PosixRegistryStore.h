#pragma once
// The hive files of the Linux registry: where they live, reading them (kept in memory
// while a file stays the same), and changing them atomically under a lock. Internal to
// platform/posix.
//
// Locations (docs/registry.md): with NORVALE_REGISTRY_DIR set, "machine.reg" and
// "user.reg" in that folder; without it, /var/lib/norvale/registry/machine.reg and
// $XDG_CONFIG_HOME/norvale/registry/user.reg (XDG_CONFIG_HOME defaults to ~/.config).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/shared/RegistryHive.h"
#include "platform/shared/RegistryHiveModel.h"

enum class XpPosixHive { Machine, User };

std::string XpPosixHivePath(XpPosixHive hive);
const XpHiveRoot& XpPosixHiveRoot(XpPosixHive hive);

// The hive as its file holds it now; a missing file is an empty hive. Fails with the
// file's error (AccessDenied for an unreadable one, ...).
uint32_t XpPosixReadHive(const std::string& file, XpPosixHive hive, std::shared_ptr<const XpHiveImage>* image);

// A change to a hive's model: sets *changed when the file must be written; a result
// other than 0 leaves the file as it was and is passed on. It may be called twice (first
// on an empty model when the hive's folder does not exist yet), so it must not consume
// what it captures.
using XpPosixHiveChange = std::function<uint32_t(XpHiveModel& model, bool* changed)>;

// Under the hive's advisory lock (a "<hive>.lock" file beside it, so that readers never
// wait): reads the file afresh, applies the change, writes the new text to "<hive>.tmp",
// flushes it and renames it over the hive. Readers see the old or the new file, never
// a mix; a crash leaves at most a stale temporary file. A hive that does not parse
// fails with BadDb and is left as it is.
uint32_t XpPosixChangeHive(const std::string& file, XpPosixHive hive, const XpPosixHiveChange& change);

// Whether this process could replace the hive file: AccessDenied when the file or its
// folder is not writable for it.
uint32_t XpPosixCanWriteHive(const std::string& file);

void XpPosixForgetHives();
