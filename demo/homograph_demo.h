// The demonstration homograph resolver: not trained. A hand-written list of
// common Russian homographs (demo/homographs.json), each with its variants
// and the stems of a few context words that call for each, turned into the
// files an installation's homograph resolver has: a vocabulary, added
// tokens, a dictionary and a classifier module whose embedding table holds
// the context votes. Nothing here needs LibTorch's headers.
#pragma once

#include <string>

namespace zelvan_tts::demo {

// Writes model_emb_q.bin, vocab.bin, homodict.bin and added_tokens.bin into
// `out_dir` (created when missing), packed with the program key, from the
// JSON list at `source_path`. Throws std::runtime_error when the list cannot
// be read or is malformed (the message names the entry).
void write_homograph_demo(const std::string& source_path, const std::string& out_dir);

}  // namespace zelvan_tts::demo
