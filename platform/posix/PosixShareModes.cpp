// Share modes kept as open-file-description locks on marker bytes.
//
// Six markers, one per access (read, write, delete) that an open may hold and one per
// access that it may deny. Each marker is a range of kSpan bytes starting at or above
// 2^62, far beyond any size a file can reach, so that the markers never meet a lock that
// a program takes on real data. An open marks what it holds and what it denies with a
// lock in the marker's range:
// - a descriptor that can read takes a shared lock on the range's first byte, which any
//   number of opens hold side by side;
// - a write-only descriptor cannot take shared locks, so it takes an exclusive lock on a
//   byte of the range of its own (a slot), chosen per open.
// A marker is "held by another open" when a test for an exclusive lock over its whole
// range (F_OFD_GETLK) finds a lock: the locks of the asking open description never count
// against itself, so the open's own markers stay out of its checks.
//
// An open first takes its markers and then checks the others', so that of two opens that
// conflict and arrive at the same moment at least one sees the other. Both may see each
// other; each then lets its markers go and looks again: a marker still held belongs to an
// open that stands (refused at once), one that went away belonged to an open that backed
// off as well, and the open tries again after a short random pause. A refused open
// therefore costs a few system calls and no waiting.
//
// The locks bind only the processes that use this library, which is where the system
// relies on exclusive access (its own downloads and work files); other programs are not
// held back by them. On a file system that refuses such locks (F_OFD_* missing, a network
// file system without lock support), the share mode is not kept.

#include "platform/posix/PosixShareModes.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>

#include "platform/PlatformErrors.h"
#include "platform/PlatformFiles.h"
#include "platform/posix/PosixCommon.h"

namespace {

constexpr off_t kBase = static_cast<off_t>(1) << 62;
constexpr off_t kSpan = static_cast<off_t>(1) << 32;
constexpr int kAccessKinds = 3;  // read, write, delete: share-mode bits 0x1, 0x2, 0x4
constexpr int kMarkers = 2 * kAccessKinds;
constexpr int kAttempts = 6;
constexpr int kSlotAttempts = 16;

// The marker of holding (deny = false) or denying (deny = true) access kind k.
off_t MarkerStart(int kind, bool deny)
{
    return kBase + static_cast<off_t>(deny ? kAccessKinds + kind : kind) * kSpan;
}

// The access kinds of a CreateFileW access mask, as share-mode bits.
uint32_t AccessKinds(uint32_t access)
{
    uint32_t kinds = 0;
    if ((access & XpFileOpen::GenericRead) != 0) kinds |= XpFileOpen::ShareRead;
    if ((access & XpFileOpen::GenericWrite) != 0) kinds |= XpFileOpen::ShareWrite;
    if ((access & XpFileOpen::Delete) != 0) kinds |= XpFileOpen::ShareDelete;
    return kinds;
}

int Lock(int fd, short type, off_t start, off_t length)
{
    struct flock lock = {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = start;
    lock.l_len = length;
    return fcntl(fd, F_OFD_SETLK, &lock);
}

// Errors that say the file system keeps no such locks, rather than that a lock conflicts.
bool LocksUnsupported(int error)
{
    return error == EINVAL || error == ENOLCK || error == EOPNOTSUPP || error == ENOSYS;
}

// A slot for a write-only open: spread by process and by open, so that two opens rarely
// try the same one; a taken slot is passed over.
off_t NextSlot()
{
    static std::atomic<uint32_t> counter{0};
    const uint64_t mix = static_cast<uint64_t>(getpid()) * 0x9E3779B97F4A7C15ull +
                         static_cast<uint64_t>(counter.fetch_add(1, std::memory_order_relaxed)) * 0xC2B2AE3D27D4EB4Full;
    return 1 + static_cast<off_t>((mix >> 16) % static_cast<uint64_t>(kSpan - 1));
}

// Takes one marker. 0, or the errno of the failure.
int TakeMarker(int fd, bool canRead, off_t start)
{
    if (canRead) return Lock(fd, F_RDLCK, start, 1) == 0 ? 0 : errno;
    for (int attempt = 0; attempt < kSlotAttempts; ++attempt) {
        if (Lock(fd, F_WRLCK, start + NextSlot(), 1) == 0) return 0;
        if (errno != EAGAIN && errno != EACCES) return errno;
    }
    return EAGAIN;
}

void ReleaseMarkers(int fd)
{
    Lock(fd, F_UNLCK, kBase, kMarkers * kSpan);
}

// Whether another open description holds a lock in the marker's range.
bool HeldByOther(int fd, off_t start)
{
    struct flock probe = {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = start;
    probe.l_len = kSpan;
    if (fcntl(fd, F_OFD_GETLK, &probe) != 0) return false;
    return probe.l_type != F_UNLCK;
}

// Whether an open that holds `holds` and denies `denies` meets another open it
// conflicts with: a marker of denial for what it holds, or of holding for what it denies.
bool Conflicts(int fd, uint32_t holds, uint32_t denies)
{
    for (int kind = 0; kind < kAccessKinds; ++kind) {
        const uint32_t bit = 1u << kind;
        if ((holds & bit) != 0 && HeldByOther(fd, MarkerStart(kind, true))) return true;
        if ((denies & bit) != 0 && HeldByOther(fd, MarkerStart(kind, false))) return true;
    }
    return false;
}

void PauseBriefly(int attempt)
{
    static std::atomic<uint32_t> seed{0};
    const uint32_t jitter =
        (seed.fetch_add(0x9E3779B9u, std::memory_order_relaxed) ^ static_cast<uint32_t>(getpid())) % 200;
    const struct timespec pause = {0, static_cast<long>((50 + jitter) * 1000L * (attempt + 1))};
    nanosleep(&pause, nullptr);
}

}  // namespace

uint32_t XpPosixTakeShareMode(int fd, uint32_t access, uint32_t shareMode)
{
    const uint32_t holds = AccessKinds(access);
    if (holds == 0) return XpWinError::Success;
    const uint32_t denies = ~shareMode & (XpFileOpen::ShareRead | XpFileOpen::ShareWrite | XpFileOpen::ShareDelete);
    const int statusFlags = fcntl(fd, F_GETFL);
    if (statusFlags == -1) return XpPosixWinError(errno);
    if ((statusFlags & O_PATH) != 0) return XpWinError::InvalidHandle;
    const bool canRead = (statusFlags & O_ACCMODE) != O_WRONLY;

    for (int attempt = 0;; ++attempt) {
        for (int kind = 0; kind < kAccessKinds; ++kind) {
            const uint32_t bit = 1u << kind;
            int error = 0;
            if ((holds & bit) != 0) error = TakeMarker(fd, canRead, MarkerStart(kind, false));
            if (error == 0 && (denies & bit) != 0) error = TakeMarker(fd, canRead, MarkerStart(kind, true));
            if (error != 0) {
                ReleaseMarkers(fd);
                return LocksUnsupported(error) ? XpWinError::Success : XpPosixWinError(error);
            }
        }
        if (!Conflicts(fd, holds, denies)) return XpWinError::Success;
        ReleaseMarkers(fd);
        // A conflict that is still there without our markers is an open that stands.
        if (attempt + 1 == kAttempts || Conflicts(fd, holds, denies)) return XpWinError::SharingViolation;
        PauseBriefly(attempt);
    }
}

uint32_t XpPosixBeginDelete(int dirfd, const char* name, int* holder)
{
    *holder = -1;
    constexpr int kFlags = O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    int fd = openat(dirfd, name, O_RDONLY | kFlags);
    if (fd < 0 && errno == EACCES) fd = openat(dirfd, name, O_WRONLY | kFlags);
    if (fd < 0) return XpWinError::Success;
    struct stat status;
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(fd);
        return XpWinError::Success;
    }
    const uint32_t rc = XpPosixTakeShareMode(fd, XpFileOpen::Delete,
                                             XpFileOpen::ShareRead | XpFileOpen::ShareWrite | XpFileOpen::ShareDelete);
    if (rc != XpWinError::Success) {
        close(fd);
        return rc;
    }
    *holder = fd;
    return XpWinError::Success;
}
