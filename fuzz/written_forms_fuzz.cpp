// The written-forms step on arbitrary text and block bounds: every edit lies
// inside its block, in order, and the output is the block with the edits
// put in.
#include "fuzz/fuzz_support.h"
#include "text/written_forms.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

using namespace zelvan_tts;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::InputCursor input(data, size);
    const std::size_t a = input.byte();
    const std::size_t b = input.byte();
    const std::string_view text = input.rest();
    std::size_t begin = text.empty() ? 0 : a % (text.size() + 1);
    std::size_t end = text.empty() ? 0 : b % (text.size() + 1);
    if (begin > end) std::swap(begin, end);
    std::vector<ReadingEdit> edits;
    const std::string out = read_written_forms(text, begin, end, "rus", {}, &edits);
    std::string rebuilt;
    std::size_t at = begin;
    for (const ReadingEdit& e : edits) {
        if (e.begin < at || e.end < e.begin || e.end > end || e.out_end > out.size() ||
            e.out_begin > e.out_end)
            std::abort();
        rebuilt.append(text.substr(at, e.begin - at));
        // The step may put a blank between a word and the words it reads.
        if (rebuilt.size() < e.out_begin) rebuilt += ' ';
        if (rebuilt.size() != e.out_begin) std::abort();
        rebuilt += out.substr(e.out_begin, e.out_end - e.out_begin);
        if (e.out_end < out.size() && out[e.out_end] == ' ' &&
            (e.end >= text.size() || text[e.end] != ' '))
            rebuilt += ' ';
        at = e.end;
    }
    rebuilt.append(text.substr(at, end - at));
    if (rebuilt != out) std::abort();
    return 0;
}
