// The exception hierarchy of the runtime layer. Every failure in Elo is an
// exception carrying the system's own message text; nothing returns error codes.
#pragma once

#include <exception>
#include <string>

namespace elo {

// Base of every exception the system raises; carries its message.
class Exception : public std::exception {
public:
    explicit Exception(std::string message) : Message(std::move(message)) {}
    const char* what() const noexcept override { return Message.c_str(); }
    std::string Message;
};

// The silent abort: refuses an operation without showing anything.
class EAbort : public Exception {
public:
    EAbort() : Exception("Operation aborted") {}
};

// An index outside a list's bounds: "List index out of bounds (%d)".
class EListError : public Exception {
public:
    explicit EListError(long long index);
    using Exception::Exception;
};

// A text that is no integer: "'%s' is not a valid integer value".
class EConvertError : public Exception {
public:
    using Exception::Exception;
    static EConvertError NotAnInteger(const std::string& text);
};

// A stream failure of the platform.
class EStreamError : public Exception {
public:
    using Exception::Exception;
};

// A file that cannot be opened or created: "Cannot open file %s".
class EFOpenError : public EStreamError {
public:
    using EStreamError::EStreamError;
    static EFOpenError CannotOpen(const std::string& fileName, int errnoValue = 0);
    static EFOpenError CannotCreate(const std::string& fileName, int errnoValue = 0);
    // A FIFO, a device or a directory where a file to read was named.
    static EFOpenError NotAFile(const std::string& fileName);
    int ErrorCode = 0; // the operating system's error number, 0 when none
};

// A read that could not deliver every byte asked for: "Stream read error".
class EReadError : public EStreamError {
public:
    EReadError() : EStreamError("Stream read error") {}
    using EStreamError::EStreamError;
};

// A write that could not take every byte offered: "Stream write error".
class EWriteError : public EStreamError {
public:
    EWriteError() : EStreamError("Stream write error") {}
    using EStreamError::EStreamError;
};

// An input/output failure of the operating system, with its message
// ("Disk full", "File access denied", ...) and the error number.
class EInOutError : public Exception {
public:
    EInOutError(std::string message, int errorCode) : Exception(std::move(message)), ErrorCode(errorCode) {}
    static EInOutError FromErrno(int errnoValue, const std::string& fileName = {});
    int ErrorCode;
};

// Memory could not be allocated.
class EOutOfMemory : public Exception {
public:
    EOutOfMemory() : Exception("Out of memory") {}
};

// The message the platform gives for an error number, in the wording the
// system's users know ("Disk full", "File access denied", ...).
std::string SysErrorMessage(int errnoValue);

} // namespace elo
