// The user's switches for the optional text stages. The settings dialog
// writes config.json and sets a shared signal; every engine process re-reads
// the file at its next synthesis after the signal.
#pragma once

#include <memory>
#include <mutex>
#include <string>

namespace zelvan_tts {

class NamedSignal;

struct RuntimeSettings {
    bool enable_accentor = true;    // stress placement
    bool enable_homosolver = true;  // homograph resolution
};

// <application data>/ZelvanTTS/config.json as UTF-8, or empty when the
// application-data folder is unknown.
std::string settings_file_path();

// The settings in the file. Never fails: a missing or malformed file gives
// the defaults, and reading stops at the first member that is not a boolean,
// so that member and every one after it keep their defaults.
RuntimeSettings load_settings_file();

// The process's copy of the settings, reloaded when the change signal is set.
class SettingsStore {
public:
    static SettingsStore& instance();

    // The settings to use now: reloads the file first when another process
    // (or this one) has saved since the last look. Consumes the signal.
    RuntimeSettings current();

    // Writes the file, takes the values, and sets the change signal. False
    // when the file could not be written; nothing changes then.
    bool save(const RuntimeSettings& settings);

    // A store of its own; instance() is the one a process normally uses.
    SettingsStore();
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

private:
    std::mutex lock_;
    RuntimeSettings settings_;
    std::unique_ptr<NamedSignal> changed_event_;  // null when unavailable
};

}  // namespace zelvan_tts
