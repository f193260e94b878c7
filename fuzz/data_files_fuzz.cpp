// The data-file readers on arbitrary files. The first byte chooses what the
// rest is: a whole file as found on disk (the decryption reader and the gzip
// reader on top of it), or a payload that is encrypted with the program key
// first, so that the gzip reader's inflation sees arbitrary bytes.
#include "core/data_files.h"
#include "fuzz/fuzz_support.h"
#include "core/data_file_writer.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

using namespace zelvan_tts;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::InputCursor input(data, size);
    const std::uint8_t mode = input.byte();
    const std::string_view rest = input.rest();
    const std::string path = fuzz::scratch_dir() + "/data.bin";

    if (mode % 2 == 0) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(rest.data(), static_cast<std::streamsize>(rest.size()));
    } else {
        write_data_file(path, std::string(rest), false);
        std::vector<std::uint8_t> payload;
        if (!decrypt_file(path, payload)) std::abort();
        if (std::string(payload.begin(), payload.end()) != rest) std::abort();
    }
    std::vector<std::uint8_t> payload;
    decrypt_file(path, payload);
    decrypt_gzip_file(path);
    return 0;
}
