#include "engine/settings.h"

#include "platform/app_data.h"
#include "platform/named_signal.h"
#include "platform/object_names.h"
#include "platform/utf8_path.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <random>

namespace zelvan_tts {

namespace fs = std::filesystem;

namespace {

constexpr const char* kAccentorKey = "enable_accentor";
constexpr const char* kHomosolverKey = "enable_homosolver";

// Takes the member's value when it is a boolean. False (stop reading) when
// the member is present with any other type.
bool read_flag(const nlohmann::json& object, const char* key, bool& flag) {
    const auto it = object.find(key);
    if (it == object.end()) return true;
    if (!it->is_boolean()) return false;
    flag = it->get<bool>();
    return true;
}

}  // namespace

std::string settings_file_path() {
    const auto dir = app_data_dir();
    if (!dir) return {};
    return path_to_utf8(*dir / "ZelvanTTS" / "config.json");
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
    read_flag(document, kHomosolverKey, result.enable_homosolver);
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

RuntimeSettings SettingsStore::current() {
    std::lock_guard<std::mutex> guard(lock_);
    if (changed_event_ && changed_event_->test_and_consume()) settings_ = load_settings_file();
    return settings_;
}

bool SettingsStore::save(const RuntimeSettings& settings) {
    std::lock_guard<std::mutex> guard(lock_);
    const std::string path = settings_file_path();
    if (path.empty()) return false;
    const fs::path file = path_from_utf8(path);
    std::error_code ignored;
    // Usually there already. Unlike the roaming folder on Windows, the
    // configuration folder of a fresh account may not exist yet either.
    fs::create_directories(file.parent_path(), ignored);

    nlohmann::json object;
    object[kAccentorKey] = settings.enable_accentor;
    object[kHomosolverKey] = settings.enable_homosolver;

    // Written beside the file and renamed over it, so that a reader never
    // sees half a file and a failed write leaves the old one in place.
    fs::path temp = file;
    temp += ".tmp" + std::to_string(std::random_device{}());
    {
        std::ofstream out(temp, std::ios::trunc);
        if (!out) return false;
        out << object.dump(2) << '\n';
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
    settings_ = settings;
    if (changed_event_) changed_event_->set();
    return true;
}

}  // namespace zelvan_tts
