#include "foundation/XpResult.h"

#include "platform/PlatformErrors.h"

XpResult XpMapWindowsError(uint32_t error)
{
    switch (error) {
        case 0:
            return XpRc::Ok;
        case 2:
            return XpRc::FileNotFound;
        case 3:
        case 15:
            return XpRc::PathNotFound;
        case 4:
            return XpRc::TooManyOpenFiles;
        case 5:
        case 19:
        case 32:
        case 65:
            return XpRc::AccessDenied;
        case 8:
        case 14:
            return XpRc::OutOfMemory;
        case 21:
        case 55:
            return XpRc::DeviceNotReady;
        case 38:
            return XpRc::EndOfFile;
        case 39:
        case 112:
            return XpRc::DiskFull;
        case 80:
        case 183:
            return XpRc::AlreadyExists;
        case 110:
            return XpRc::OpenFailed;
        case 145:
        case 4307:
        case 10066:
            return XpRc::DirectoryNotEmpty;
        case 1006:
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
    switch (error) {
        case XpCrtErrno::NoEnt:
            return XpRc::NoSuchFile;
        case XpCrtErrno::BadF:
        case XpCrtErrno::Acces:
        case XpCrtErrno::RoFs:
            return XpRc::AccessDenied;
        case XpCrtErrno::Exist:
            return XpRc::AlreadyExists;
        case XpCrtErrno::NotDir:
        case XpCrtErrno::IsDir:
        case XpCrtErrno::NameTooLong:
            return XpRc::NotOpen;
        case XpCrtErrno::Inval:
            return XpRc::InvalidArgument;
        case XpCrtErrno::MFile:
            return XpRc::TooManyOpenFiles;
        case XpCrtErrno::NoSpc:
            return XpRc::DiskFull;
        default:
            return XpRc::CrtFailure;
    }
}
