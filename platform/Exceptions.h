#pragma once
// The run-time library's exception classes. Every failure the program
// raises is an Exception with a message in code page 932.

#include "platform/CodePage.h"

#include <exception>
#include <string>

namespace kivra {

class Exception : public std::exception {
public:
    explicit Exception(platform::Text message) : message_(std::move(message)) {}
    const platform::Text& Message() const noexcept { return message_; }
    const char* what() const noexcept override { return message_.c_str(); }
    // The class name the last-chance report shows ("EInOutError").
    virtual const char* ClassName() const noexcept { return "Exception"; }

private:
    platform::Text message_;
};

// The silent exception: the handler guard shows nothing for it.
class EAbort : public Exception {
public:
    using Exception::Exception;
    const char* ClassName() const noexcept override { return "EAbort"; }
};

// A file-system failure with the operating system's error code; its message
// is chosen by the code (2, 3, 4, 5, any other).
class EInOutError : public Exception {
public:
    explicit EInOutError(platform::DWORD errorCode);
    platform::DWORD ErrorCode() const noexcept { return errorCode_; }
    const char* ClassName() const noexcept override { return "EInOutError"; }

private:
    platform::DWORD errorCode_;
};

class EFCreateError : public Exception {
public:
    using Exception::Exception;
    const char* ClassName() const noexcept override { return "EFCreateError"; }
};

class EWriteError : public Exception {
public:
    using Exception::Exception;
    const char* ClassName() const noexcept override { return "EWriteError"; }
};

} // namespace kivra
