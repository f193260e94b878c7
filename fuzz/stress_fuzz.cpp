// The stress stage on arbitrary text: the word splitting keeps every byte,
// and the stage with a small test model (n-gram list, exceptions) only ever
// adds stress marks and ё to the text.
#include "accentor/accentor.h"
#include "accentor/stress_marks.h"
#include "fuzz/fuzz_support.h"
#include "tools/test_accentor_models.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

using namespace zelvan_tts;
namespace models = zelvan_tts::test_models;

namespace {

std::unique_ptr<Accentor> russian;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const std::string root = fuzz::scratch_dir() + "/models";
    models::StressModelDesign design;
    design.words = {{"молоко", {0, 0, 5}, {}},
                    {"корова", {2, 1.5f, 0}, {}},
                    {"дом", {-3, 4}, {}},
                    {"все", {0, 0}, {-1, 3}},
                    {"елка", {1, 0}, {0, 4}}};
    models::write_stress_language(root + "/accentor/ru", design, "замок 1 -1\nеж 0 0\nбыл 7 3\n");
    setenv("ZELVAN_TTS_MODEL_PATH", root.c_str(), 1);
    russian = std::make_unique<Accentor>();
    russian->initialize("ru");
    if (!russian->initialized) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    std::string joined;
    for (const TokenRecord& record : split_words(text)) joined += record.text;
    if (joined != text) std::abort();

    const std::string stressed = russian->process(text);
    // Only "+" marks are added, and е may turn into ё (one more byte each).
    if (stressed.size() < text.size()) std::abort();
    std::string without_marks;
    for (char c : stressed) {
        if (c != '+') without_marks.push_back(c);
    }
    if (without_marks.size() > text.size()) std::abort();

    const long long index = size ? static_cast<signed char>(data[0]) : 0;
    insert_stress_mark(text, index);
    set_yo(text, index);
    return 0;
}
