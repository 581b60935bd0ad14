#pragma once
// Moving files and folders to the recycle bin.
// Windows: SHFileOperationW (FO_DELETE with FOF_ALLOWUNDO).
// Linux: the freedesktop.org Trash: the home trash ($XDG_DATA_HOME/Trash) for items on
// the home volume, the volume's $topdir/.Trash-$uid otherwise; each item gets its
// .trashinfo record (original path and deletion date) before it is moved.

#include <cstddef>
#include <cstdint>

#include "platform/XpChar.h"

// quiet: no confirmation, progress or error UI (Windows flags 0x654); otherwise the
// shell shows its own confirmation and progress, with the active window disabled while
// it runs. Nothing is deleted for good in place of a move: a quiet request with an item
// that no bin can take (Windows: a volume without a bin, checked for every item before
// the shell is asked; Linux: no trash can be made for it) fails and leaves that item
// where it is; on Windows a request with confirmation leaves that choice to the user.
// A file that an open does not share delete on stays too, on Linux as well. Returns 0 on
// success, NotEnoughMemory when the request could not be built, any other Windows error
// number on failure.
uint32_t XpPlatformMoveToRecycleBin(const XpChar* const* paths, std::size_t count, bool quiet);
