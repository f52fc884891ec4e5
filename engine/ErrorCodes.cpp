#include "ErrorCodes.h"

#include <cerrno>

namespace doplet {

int ErrorCodeFromErrno(int err) {
    switch (err) {
    case 0:
        return 0;
    case ENOENT:
        return kErrorFileNotFound;
    case ENOTDIR:
        return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EISDIR:
    case ELOOP: // a symbolic link where the pass refuses to follow one
    case EROFS:
        return kErrorAccessDenied;
    case EBUSY:
    case ETXTBSY:
    case ESTALE:
        return kErrorSharingViolation;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return kErrorDiskFull;
    case ENAMETOOLONG:
        return kErrorNameTooLong;
    default:
        return kErrorGeneral;
    }
}

} // namespace doplet
