#include "foundation/XpResult.h"

#include "platform/PlatformErrors.h"
#include "platform/PlatformSync.h"

XpResult XpMapWindowsError(uint32_t error)
{
    using namespace XpWinError;
    switch (error) {
        case Success:
            return XpRc::Ok;
        case FileNotFound:
            return XpRc::FileNotFound;
        case PathNotFound:
        case InvalidDrive:
            return XpRc::PathNotFound;
        case TooManyOpenFiles:
            return XpRc::TooManyOpenFiles;
        case AccessDenied:
        case WriteProtect:
        case SharingViolation:
        case NetworkAccessDenied:
            return XpRc::AccessDenied;
        case NotEnoughMemory:
        case OutOfMemory:
            return XpRc::OutOfMemory;
        case NotReady:
        case DevNotExist:
            return XpRc::DeviceNotReady;
        case HandleEof:
            return XpRc::EndOfFile;
        case HandleDiskFull:
        case DiskFull:
            return XpRc::DiskFull;
        case FileExists:
        case AlreadyExists:
            return XpRc::AlreadyExists;
        case OpenFailed:
            return XpRc::OpenFailed;
        case DirNotEmpty:
        case NotEmpty:
        case WsaNotEmpty:
            return XpRc::DirectoryNotEmpty;
        case FileInvalid:
            return XpRc::InvalidFile;
        case XpWinError::StoppedOnSymlink:
            return XpRc::LinkRefused;
        case XpWinError::InvalidOwner:
        case XpWinError::InvalidSecurityDescr:
            return XpRc::FolderNotPrivate;
        default:
            return XpRc::Failure;
    }
}

XpResult XpMapCrtError(int error)
{
    using namespace XpCrtErrno;
    switch (error) {
        case NoEnt:
            return XpRc::NoSuchFile;
        case BadF:
        case Acces:
        case RoFs:
            return XpRc::AccessDenied;
        case Exist:
            return XpRc::AlreadyExists;
        case NotDir:
        case IsDir:
        case NameTooLong:
            return XpRc::NotOpen;
        case Inval:
            return XpRc::InvalidArgument;
        case MFile:
            return XpRc::TooManyOpenFiles;
        case NoSpc:
            return XpRc::DiskFull;
        default:
            return XpRc::CrtFailure;
    }
}

XpResult XpMapDeleteError(uint32_t error)
{
    const XpResult rc = XpMapWindowsError(error);
    return XpIsGenericFailure(rc) ? XpRc::DeleteFailed : rc;
}

XpResult XpMapRecycleError(uint32_t error)
{
    switch (error) {
        case XpWinError::Success:
        case XpWinError::ShellErrorOnDestination:
            return XpRc::Ok;
        case XpWinError::NotEnoughMemory:
            return XpRc::OutOfMemory;
        default:
            return XpRc::DeleteFailed;
    }
}

XpResult XpMapOpenError(uint32_t error, bool forWriting)
{
    const XpResult rc = XpMapWindowsError(error);
    if (!XpIsGenericFailure(rc)) return rc;
    return forWriting ? XpRc::NoSuchFile : XpRc::OpenFailed;
}

XpResult XpMapMkdirError(int error, bool parentIsDirectory)
{
    switch (error) {
        case 0:
            return XpRc::Ok;
        case XpCrtErrno::Exist:
            return XpRc::AlreadyExists;
        case XpCrtErrno::NoEnt:
            return XpRc::PathNotFound;
        case XpCrtErrno::RoFs:
        case XpCrtErrno::Acces:
            return XpRc::AccessDenied;
        default:
            return parentIsDirectory ? XpRc::BadRoot : XpRc::PathNotFound;
    }
}

XpResult XpMapCreateNewFileError(int error)
{
    switch (error) {
        case 0:
            return XpRc::Ok;
        case XpCrtErrno::Acces:
            return XpRc::AccessDenied;
        case XpCrtErrno::Exist:
            return XpRc::AlreadyExists;
        case XpCrtErrno::Inval:
            return XpRc::InvalidArgument;
        case XpCrtErrno::MFile:
            return XpRc::TooManyOpenFiles;
        default:
            return XpRc::CrtFailure;
    }
}

XpResult XpMapWaitResult(uint32_t waitResult, uint32_t error)
{
    switch (waitResult) {
        case XpWaitResult::Object0:
            return XpRc::Ok;
        case XpWaitResult::Abandoned:
            return XpRc::Abandoned;
        case XpWaitResult::Timeout:
            return XpRc::TimedOut;
        default:
            break;
    }
    switch (error) {
        case XpWinError::InvalidHandle:
            return XpRc::InvalidHandle;
        case XpWinError::NotOwner:
            return XpRc::NotOwner;
        default:
            // A failed wait is never success, even when no error number came with it.
            return XpRc::WaitFailed;
    }
}
