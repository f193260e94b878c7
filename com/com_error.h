// Failures that carry an HRESULT, and the conversion of any exception into
// the HRESULT a COM method returns at its boundary.
#pragma once

#include "com/sdk.h"

#include <exception>
#include <new>
#include <stdexcept>

namespace zelvan_tts::com {

// A failed system call whose HRESULT is worth keeping.
class com_error : public std::runtime_error {
public:
    explicit com_error(HRESULT hr) : std::runtime_error("COM call failed"), hr_(hr) {}
    HRESULT hr() const { return hr_; }

private:
    HRESULT hr_;
};

// Runs `body` and turns whatever it throws into an HRESULT: out of memory
// becomes E_OUTOFMEMORY, everything else E_UNEXPECTED. Nothing escapes.
template <class Body>
HRESULT guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

}  // namespace zelvan_tts::com
