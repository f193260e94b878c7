// Helpers shared by the fuzz targets: a private scratch directory per fuzzing
// process, and a cursor that takes parameters from the front of an input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zelvan_tts::fuzz {

// A directory of this process's own below the system's temporary directory,
// made on first use and removed when the process exits.
const std::string& scratch_dir();

// Reads small parameters off the front of a fuzz input; the rest is the
// text under test. Reading past the end gives zeros.
class InputCursor {
public:
    InputCursor(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::uint8_t byte() {
        if (size_ == 0) return 0;
        --size_;
        return *data_++;
    }
    std::string_view rest() const { return {reinterpret_cast<const char*>(data_), size_}; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

}  // namespace zelvan_tts::fuzz
