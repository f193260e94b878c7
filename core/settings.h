// The user's switches for the optional text stages, and the user's
// dictionary. The settings dialog writes config.json, the zelvan_tts command
// writes dictionary.txt, and each then sets a shared signal; every engine
// process re-reads both files at its next synthesis after the signal.
#pragma once

#include <memory>
#include <mutex>
#include <string>

namespace zelvan_tts {

class NamedSignal;
class UserDictionary;

struct RuntimeSettings {
    bool enable_accentor = true;    // stress placement
    bool enable_homosolver = true;  // homograph resolution
    bool enable_reading = true;     // written forms read as a person reads them
};

// <application data>/ZelvanTTS/config.json as UTF-8, or empty when the
// application-data folder is unknown.
std::string settings_file_path();

// <application data>/ZelvanTTS/dictionary.txt as UTF-8, or empty when the
// application-data folder is unknown.
std::string dictionary_file_path();

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

    // The user dictionary to use now, never null: read at the first call,
    // and again after the change signal, whichever of current() and
    // dictionary() consumed it. A process that never asks (the settings
    // dialog) never reads it. One synthesis should ask once and keep it.
    std::shared_ptr<const UserDictionary> dictionary();

    // Replaces dictionary.txt with `content` and sets the change signal.
    // False when the file could not be written; nothing changes then.
    bool save_dictionary(const std::string& content);

    // A store of its own; instance() is the one a process normally uses.
    SettingsStore();
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

private:
    // Takes a pending change signal: re-reads the settings and drops the
    // dictionary, to be read again when next asked for. Under lock_.
    void take_change();

    std::mutex lock_;
    RuntimeSettings settings_;
    // Null until read, and again after each change.
    std::shared_ptr<const UserDictionary> dictionary_;
    std::unique_ptr<NamedSignal> changed_event_;  // null when unavailable
};

}  // namespace zelvan_tts
