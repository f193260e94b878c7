// The text a caller gives to speak, with its few tags, as the fragment list
// the platform hands to an engine.
//   <bookmark mark="NAME"/>  <pitch middle="N">...</pitch>
//   <spell>...</spell>       <silence msec="N"/>
#pragma once

#include "com/sdk.h"
#include "com/wide_string.h"

#include <memory>
#include <string>
#include <vector>

namespace zelvan_tts::speech_platform {

// Owns the fragments and the text they point into.
class fragment_list {
public:
    fragment_list() = default;
    fragment_list(const fragment_list&) = delete;
    fragment_list& operator=(const fragment_list&) = delete;
    fragment_list(fragment_list&&) = default;

    // Null when there are no fragments.
    const SPVTEXTFRAG* head() const {
        return fragments_.empty() ? nullptr : fragments_.front().get();
    }
    std::size_t size() const { return fragments_.size(); }
    const SPVTEXTFRAG& at(std::size_t i) const { return *fragments_.at(i); }

    // Appends a fragment whose text starts at `offset` of the source.
    void add(SPVACTIONS action, com::wstring text, ULONG offset, LONG pitch_middle = 0,
             ULONG silence_ms = 0);

private:
    std::vector<std::unique_ptr<SPVTEXTFRAG>> fragments_;
    std::vector<std::unique_ptr<com::wstring>> texts_;
};

// Parses UTF-8 text with the tags above; source offsets count UTF-16 code
// units of the whole text, tags included. Throws std::invalid_argument with
// a message naming the fault for an unknown, malformed or unbalanced tag.
fragment_list parse_text(const std::string& utf8);

}  // namespace zelvan_tts::speech_platform
