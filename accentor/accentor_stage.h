// The stress stage as the synthesis pipeline sees it: one process-wide
// instance per accentor language, loaded on first use, released when the
// stage is switched off. No LibTorch here.
#pragma once

#include "core/stage_registry.h"

#include <memory>
#include <string>

namespace zelvan_tts {

class Accentor;

// The process-wide instances by models root and accentor language code.
StageRegistry<Accentor>& accentor_table();

// The instance of `lang` below the current models root, created and
// initialised under the table lock on first use. Never null; the caller
// checks `initialized`.
std::shared_ptr<Accentor> get_accentor(const std::string& lang);

// Empties the table; instances go as soon as no caller uses them.
void release_accentors();

// `text` with stress marks for a voice language ("rus", "bel", "ukr"). Never
// fails: any other language, missing files or any error give back `text`.
std::string apply_accentor(const std::string& text, const std::string& language);

}  // namespace zelvan_tts
