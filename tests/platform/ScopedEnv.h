// ScopedEnv.h: sets or clears an environment variable for one test and restores it after.
#ifndef KRV_TESTS_PLATFORM_SCOPEDENV_H
#define KRV_TESTS_PLATFORM_SCOPEDENV_H

#include <cstdlib>
#include <optional>
#include <string>

namespace krv::test {

class ScopedEnv {
public:
    // value none: the variable is removed for the scope.
    ScopedEnv(const char* name, std::optional<std::string> value) : name_(name)
    {
        if (const char* old = std::getenv(name)) saved_ = old;
        if (value) {
            ::setenv(name, value->c_str(), 1);
        } else {
            ::unsetenv(name);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;
    ~ScopedEnv()
    {
        if (saved_) {
            ::setenv(name_.c_str(), saved_->c_str(), 1);
        } else {
            ::unsetenv(name_.c_str());
        }
    }

private:
    std::string name_;
    std::optional<std::string> saved_;
};

} // namespace krv::test

#endif
