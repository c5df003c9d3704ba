// FrameworkException.h: the exceptions that carry a user-readable description.
//
// The job driver reports these as "Error 2" with their description; anything else that
// escapes is "Error 3". Descriptions come from the engine's string table.
#ifndef KRV_PLATFORM_OS_FRAMEWORKEXCEPTION_H
#define KRV_PLATFORM_OS_FRAMEWORKEXCEPTION_H

#include <exception>
#include <string>

namespace krv {

class FrameworkException : public std::exception {
public:
    // The description that replaces %1 in an error text.
    virtual std::string Description() const = 0;
    const char* what() const noexcept override { return "framework exception"; }
};

// Memory ran out (the framework's form of std::bad_alloc).
class CMemoryException : public FrameworkException {
public:
    std::string Description() const override;
};

// An operation that the object does not offer.
class CNotSupportedException : public FrameworkException {
public:
    std::string Description() const override;
};

} // namespace krv

#endif
