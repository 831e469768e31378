#include "Exceptions.h"

#include <cerrno>
#include <cstring>

#include "Text.h"

namespace elo {

EListError::EListError(long long index) : Exception("List index out of bounds (" + std::to_string(index) + ")") {}

EConvertError EConvertError::NotAnInteger(const std::string& text) {
    return EConvertError("'" + text + "' is not a valid integer value");
}

EFOpenError EFOpenError::CannotOpen(const std::string& fileName, int errnoValue) {
    EFOpenError error("Cannot open file " + FileNameText(fileName));
    error.ErrorCode = errnoValue;
    return error;
}

EFOpenError EFOpenError::NotAFile(const std::string& fileName) {
    EFOpenError error("Cannot open file " + FileNameText(fileName) + " (not a regular file)");
    error.ErrorCode = EINVAL;
    return error;
}

EFOpenError EFOpenError::CannotCreate(const std::string& fileName, int errnoValue) {
    EFOpenError error("Cannot create file " + FileNameText(fileName));
    error.ErrorCode = errnoValue;
    return error;
}

EInOutError EInOutError::FromErrno(int errnoValue, const std::string& fileName) {
    std::string message = SysErrorMessage(errnoValue);
    if (!fileName.empty()) message += ": " + FileNameText(fileName);
    return EInOutError(message, errnoValue);
}

std::string SysErrorMessage(int errnoValue) {
    switch (errnoValue) {
    case ENOSPC:
    case EDQUOT:
        return "Disk full";
    case EFBIG:
        return "File too large";
    case EACCES:
    case EPERM:
        return "File access denied";
    case EROFS:
        return "Read-only file system";
    case ENOENT:
        return "File not found";
    case ENOTDIR:
        return "Path not found";
    case EISDIR:
        return "Is a directory";
    default:
        return std::strerror(errnoValue);
    }
}

} // namespace elo
