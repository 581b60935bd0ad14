#pragma once
// The work directory: "Vimbly_Kestrow" in the user's temporary folder, one per user, kept
// between runs so that a complete package can serve the next one.

#include "foundation/text/XpString.h"

// The work directory's path; empty when the temporary folder is unknown.
XpString WorkDirectoryPath();

// Makes the folder (every missing level) unless it is one already. Whether it is a folder
// afterwards.
bool EnsureWorkDirectory(const XpString& folder = WorkDirectoryPath());

// Removes the folder with everything in it, when it is one. Whether it is gone.
bool RemoveWorkDirectory(const XpString& folder = WorkDirectoryPath());
