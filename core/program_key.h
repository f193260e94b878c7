// The one AES-256 key of every data file. It never sits whole in the binary:
// it is put together on demand and wiped when the holder goes out of scope.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zelvan_tts {

class ProgramKey {
public:
    static constexpr std::size_t kSize = 32;

    ProgramKey();
    ~ProgramKey();
    ProgramKey(const ProgramKey&) = delete;
    ProgramKey& operator=(const ProgramKey&) = delete;

    const std::uint8_t* data() const { return bytes_; }

private:
    std::uint8_t bytes_[kSize];
};

}  // namespace zelvan_tts
