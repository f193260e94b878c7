// The registry calls of registration: keys opened or created one level at a
// time, string values, deletion, and the texts registration writes.
#pragma once

#include "com/sdk.h"
#include "com/wide_string.h"

#include <stdexcept>
#include <string>

namespace zelvan_tts::registry {

class error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Closes the key it holds on every path.
class key {
public:
    explicit key(HKEY handle = nullptr) : handle_(handle) {}
    ~key() {
        if (handle_ != nullptr) RegCloseKey(handle_);
    }
    key(key&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
    key& operator=(key&&) = delete;
    key(const key&) = delete;
    HKEY get() const { return handle_; }

private:
    HKEY handle_;
};

// Creates or opens `subkey` below `parent` (create flag set), or only opens
// it. Throws error "Unable to open/create a registry key".
key open_key(HKEY parent, const com::wstring& subkey, REGSAM access, bool create);

// A REG_SZ value with its terminating null; an empty name sets the key's
// default value. Throws error "Unable to write a value in the registry".
void set_string_value(HKEY key, const com::wstring& name, const com::wstring& data);

// Deletes `subkey` (which must have no subkeys of its own) below `parent`,
// on Windows in the 64-bit view. Throws error "Unable to delete a registry
// key".
void delete_key(HKEY parent, const com::wstring& subkey);

// Full path of the library (or program) that holds this code. Throws
// std::runtime_error "Unable to get the path of the dll".
com::wstring module_path();

// The braced upper-case form of a CLSID. Throws com::com_error on failure.
com::wstring clsid_string(REFCLSID clsid);

}  // namespace zelvan_tts::registry
