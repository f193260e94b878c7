// Holds a string that a system call returned through an out-parameter and
// frees it with the call's own free function.
#pragma once

#include "com/sdk.h"

namespace zelvan_tts::utils {

class out_ptr {
public:
    using free_function = void (*)(void*);

    explicit out_ptr(free_function free) : free_(free) {}
    ~out_ptr() {
        if (value_ != nullptr) free_(value_);
    }
    out_ptr(const out_ptr&) = delete;
    out_ptr& operator=(const out_ptr&) = delete;

    // For the call to fill; whatever was held before is freed.
    WCHAR** receive() {
        if (value_ != nullptr) free_(value_);
        value_ = nullptr;
        return &value_;
    }
    const WCHAR* get() const { return value_; }

private:
    free_function free_;
    WCHAR* value_ = nullptr;
};

}  // namespace zelvan_tts::utils
