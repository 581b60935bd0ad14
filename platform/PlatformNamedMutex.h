#pragma once
// Named mutexes that tell whether their name existed already: the single-instance rule of
// the updater and the probes of other programs' mutexes.
// Windows: CreateMutexW with a null DACL (access for everyone), initial ownership asked;
// the name existed when GetLastError gives ERROR_ALREADY_EXISTS.
// Linux: a lock file held with flock in a world-writable sticky folder ("/tmp/.norvale-
// mutexes", or the folder that KESTROW_MUTEX_DIR names, which tests set). "Global\\"
// names are one file for the whole system, other names one per user. The name exists
// while another holder (another process, or another open of this one) holds the lock;
// the lock goes with the last handle, also when a process ends without closing it.
//
// XpPlatformNamedMutexExists only looks: it never creates the mutex nor holds it, even for
// an instant, so a program that creates it at that moment never finds it taken.
// Windows: OpenMutexW; a mutex that this process may not open exists too. Linux: the
// kernel's table of flock locks (/proc/locks) is searched for a lock on the name's file.

#include <cstdint>

#include "platform/XpChar.h"

// Creates the mutex or opens the existing one. 0 with *handle set and *existed telling
// whether the name was held already (the handle is then not an owner; close it), or a
// Windows error number with *handle 0.
uint32_t XpPlatformCreateNamedMutex(const XpChar* name, intptr_t* handle, bool* existed);
// Closes a handle of XpPlatformCreateNamedMutex (releasing ownership); 0 does nothing.
void XpPlatformCloseNamedMutex(intptr_t handle);

// Whether another holder has the mutex now (a name this process cannot look at counts as
// existing, as a creation that failed would). 0, or a Windows error number with *exists
// set to true.
uint32_t XpPlatformNamedMutexExists(const XpChar* name, bool* exists);
