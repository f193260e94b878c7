// The stress stage as the synthesis pipeline sees it: one process-wide
// instance per accentor language, loaded on first use, released when the
// stage is switched off. No LibTorch here.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace zelvan_tts {

class Accentor;

// The process-wide instances by accentor language code. An entry may hold an
// instance that failed to initialise; it stays so until release_accentors.
struct AccentorTable {
    std::mutex mutex;
    std::unordered_map<std::string, std::shared_ptr<Accentor>> instances;
};

AccentorTable& accentor_table();

// The instance of `lang`, created and initialised under the table lock on
// first use. Never null; the caller checks `initialized`. Shared ownership
// keeps an instance alive for a caller still using it after a release.
std::shared_ptr<Accentor> get_accentor(const std::string& lang);

// Empties the table; instances go as soon as no caller uses them.
void release_accentors();

// `text` with stress marks for a voice language ("rus", "bel", "ukr"). Never
// fails: any other language, missing files or any error give back `text`.
std::string apply_accentor(const std::string& text, const std::string& language);

}  // namespace zelvan_tts
