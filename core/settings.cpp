#include "core/settings.h"

#include "platform/app_data.h"
#include "platform/named_signal.h"
#include "platform/object_names.h"
#include "platform/utf8_path.h"
#include "text/user_dictionary.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <random>

namespace zelvan_tts {

namespace fs = std::filesystem;

namespace {

constexpr const char* kAccentorKey = "enable_accentor";
constexpr const char* kHomosolverKey = "enable_homosolver";
constexpr const char* kReadingKey = "enable_reading";

// Takes the member's value when it is a boolean. False (stop reading) when
// the member is present with any other type.
bool read_flag(const nlohmann::json& object, const char* key, bool& flag) {
    const auto it = object.find(key);
    if (it == object.end()) return true;
    if (!it->is_boolean()) return false;
    flag = it->get<bool>();
    return true;
}

// Writes `content` beside `file` and renames it over the file, so that a
// reader never sees half a file and a failed write leaves the old one in
// place. Creates the folder: unlike the roaming folder on Windows, the
// configuration folder of a fresh account may not exist yet either. In text
// mode, line feeds become the platform's line breaks.
bool replace_file(const fs::path& file, const std::string& content, bool text_mode) {
    std::error_code ignored;
    fs::create_directories(file.parent_path(), ignored);
    fs::path temp = file;
    temp += ".tmp" + std::to_string(std::random_device{}());
    {
        std::ofstream out(temp, text_mode ? std::ios::trunc : std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out << content;
        out.close();
        if (!out) {
            fs::remove(temp, ignored);
            return false;
        }
    }
    std::error_code ec;
    fs::rename(temp, file, ec);
    if (ec) {
        fs::remove(temp, ignored);
        return false;
    }
    return true;
}

}  // namespace

std::string settings_file_path() {
    const auto dir = app_data_dir();
    if (!dir) return {};
    return path_to_utf8(*dir / "ZelvanTTS" / "config.json");
}

std::string dictionary_file_path() {
    const auto dir = app_data_dir();
    if (!dir) return {};
    return path_to_utf8(*dir / "ZelvanTTS" / "dictionary.txt");
}

RuntimeSettings load_settings_file() {
    RuntimeSettings result;
    const std::string path = settings_file_path();
    if (path.empty()) return result;
    std::ifstream in(path_from_utf8(path), std::ios::binary);
    if (!in) return result;

    // Strict JSON: no comments, nothing but white space after the value. A
    // UTF-8 byte-order mark is skipped by the parser.
    const nlohmann::json document = nlohmann::json::parse(in, nullptr, false, false);
    if (!document.is_object()) return result;
    if (!read_flag(document, kAccentorKey, result.enable_accentor)) return result;
    if (!read_flag(document, kHomosolverKey, result.enable_homosolver)) return result;
    read_flag(document, kReadingKey, result.enable_reading);
    return result;
}

SettingsStore& SettingsStore::instance() {
    static SettingsStore store;
    return store;
}

SettingsStore::SettingsStore()
    : changed_event_(NamedSignal::create_or_open(object_name(NamedObject::ConfigChanged))) {
    settings_ = load_settings_file();
}

SettingsStore::~SettingsStore() = default;

void SettingsStore::take_change() {
    if (changed_event_ && changed_event_->test_and_consume()) {
        settings_ = load_settings_file();
        dictionary_.reset();
    }
}

RuntimeSettings SettingsStore::current() {
    std::lock_guard<std::mutex> guard(lock_);
    take_change();
    return settings_;
}

std::shared_ptr<const UserDictionary> SettingsStore::dictionary() {
    std::lock_guard<std::mutex> guard(lock_);
    take_change();
    if (!dictionary_) {
        const std::string path = dictionary_file_path();
        dictionary_ = std::make_shared<const UserDictionary>(
            path.empty() ? UserDictionary() : UserDictionary::load(path_from_utf8(path)));
    }
    return dictionary_;
}

bool SettingsStore::save(const RuntimeSettings& settings) {
    std::lock_guard<std::mutex> guard(lock_);
    const std::string path = settings_file_path();
    if (path.empty()) return false;
    nlohmann::json object;
    object[kAccentorKey] = settings.enable_accentor;
    object[kHomosolverKey] = settings.enable_homosolver;
    object[kReadingKey] = settings.enable_reading;
    if (!replace_file(path_from_utf8(path), object.dump(2) + '\n', true)) return false;
    settings_ = settings;
    if (changed_event_) changed_event_->set();
    return true;
}

bool SettingsStore::save_dictionary(const std::string& content) {
    std::lock_guard<std::mutex> guard(lock_);
    const std::string path = dictionary_file_path();
    // Binary: the line breaks are the user's own.
    if (path.empty() || !replace_file(path_from_utf8(path), content, false)) return false;
    dictionary_.reset();
    if (changed_event_) changed_event_->set();
    return true;
}

}  // namespace zelvan_tts
