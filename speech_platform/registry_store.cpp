#include "speech_platform/registry_store.h"

#include "com/sdk.h"
#include "com/wide_string.h"
#include "shared/symbols/code_points.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

namespace zelvan_tts::speech_platform {

namespace {

using json = nlohmann::ordered_json;
namespace fs = std::filesystem;

const char* const kRoot = "HKEY_LOCAL_MACHINE";

std::mutex& store_mutex() {
    static std::mutex mutex;
    return mutex;
}

std::optional<fs::path> registry_file() {
    const char* value = std::getenv(kRegistryVariable);
    if (value == nullptr || *value == '\0') return std::nullopt;
    return fs::path(value);
}

json initial_content() {
    json content = json::object();
    for (const auto& key : base_registry_keys()) content[key] = json::object();
    return content;
}

// The whole registry; a missing or empty file is a fresh registry.
json load(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return initial_content();
    std::stringstream text;
    text << in.rdbuf();
    if (text.str().empty()) return initial_content();
    json content = json::parse(text.str(), nullptr, false);
    if (content.is_discarded() || !content.is_object()) {
        throw std::runtime_error("The registry file is not valid JSON: " + file.string());
    }
    return content;
}

// Written beside and renamed over, so that a reader never sees half a file.
bool save(const fs::path& file, const json& content) {
    const fs::path temp = file.string() + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out << content.dump(2) << '\n';
        if (!out) return false;
    }
    std::error_code ec;
    fs::rename(temp, file, ec);
    return !ec;
}

// The stored spelling of a key path, or nullopt.
std::optional<std::string> find_key(const json& content, const std::string& path) {
    const std::string wanted = ascii_lower(path);
    for (const auto& item : content.items()) {
        if (ascii_lower(item.key()) == wanted) return item.key();
    }
    return std::nullopt;
}

std::optional<std::string> find_value(const json& key, const std::string& name) {
    const std::string wanted = ascii_lower(name);
    for (const auto& item : key.items()) {
        if (ascii_lower(item.key()) == wanted) return item.key();
    }
    return std::nullopt;
}

}  // namespace

}  // namespace zelvan_tts::speech_platform

// The key handles of the runtime.
struct HKEY__ {
    std::string path;  // stored spelling
    REGSAM access;
};

namespace zelvan_tts::speech_platform {

namespace {

bool is_root(HKEY key) { return key == HKEY_LOCAL_MACHINE; }

std::string path_of(HKEY key) { return is_root(key) ? std::string(kRoot) : key->path; }

// Runs `change` on the registry under the lock and saves when it succeeded
// and asked for it.
template <class Change>
LSTATUS with_registry(Change&& change) {
    const auto file = registry_file();
    if (!file) return ERROR_ACCESS_DENIED;
    std::lock_guard<std::mutex> lock(store_mutex());
    try {
        json content = load(*file);
        bool modified = false;
        const LSTATUS status = change(content, modified);
        if (status == ERROR_SUCCESS && modified && !save(*file, content)) {
            return ERROR_ACCESS_DENIED;
        }
        return status;
    } catch (const std::exception&) {
        return ERROR_ACCESS_DENIED;
    }
}

std::vector<std::string> split_path(const std::string& subkey) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : subkey) {
        if (c == '\\') {
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else {
            part.push_back(c);
        }
    }
    if (!part.empty()) parts.push_back(part);
    return parts;
}

}  // namespace

std::vector<std::string> base_registry_keys() {
    return {"HKEY_LOCAL_MACHINE\\SOFTWARE", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes",
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID"};
}

std::vector<std::string> registry_keys() {
    std::vector<std::string> keys;
    with_registry([&](json& content, bool&) {
        for (const auto& item : content.items()) keys.push_back(item.key());
        return ERROR_SUCCESS;
    });
    return keys;
}

std::optional<std::string> registry_value(const std::string& key_path,
                                          const std::string& value_name) {
    std::optional<std::string> data;
    with_registry([&](json& content, bool&) {
        const auto key = find_key(content, key_path);
        if (!key) return ERROR_FILE_NOT_FOUND;
        const auto name = find_value(content[*key], value_name);
        if (!name) return ERROR_FILE_NOT_FOUND;
        data = content[*key][*name].get<std::string>();
        return ERROR_SUCCESS;
    });
    return data;
}

std::vector<std::string> registry_value_names(const std::string& key_path) {
    std::vector<std::string> names;
    with_registry([&](json& content, bool&) {
        const auto key = find_key(content, key_path);
        if (!key) return ERROR_FILE_NOT_FOUND;
        for (const auto& item : content[*key].items()) names.push_back(item.key());
        return ERROR_SUCCESS;
    });
    return names;
}

std::vector<std::string> registry_subkeys(const std::string& key_path) {
    std::vector<std::string> names;
    const std::string prefix = ascii_lower(key_path) + "\\";
    with_registry([&](json& content, bool&) {
        for (const auto& item : content.items()) {
            const std::string path = ascii_lower(item.key());
            if (path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0 &&
                path.find('\\', prefix.size()) == std::string::npos) {
                names.push_back(item.key().substr(prefix.size()));
            }
        }
        return ERROR_SUCCESS;
    });
    return names;
}

}  // namespace zelvan_tts::speech_platform

using namespace zelvan_tts;
using speech_platform::json;

extern "C" {

ZELVAN_RUNTIME_API LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subkey, DWORD reserved, LPWSTR,
                                           DWORD options, REGSAM access, void*, HKEY* result,
                                           DWORD* disposition) {
    if (key == nullptr || subkey == nullptr || result == nullptr || reserved != 0 ||
        options != REG_OPTION_NON_VOLATILE) {
        return ERROR_INVALID_PARAMETER;
    }
    *result = nullptr;
    if (!speech_platform::is_root(key) && (key->access & KEY_CREATE_SUB_KEY) == 0) {
        return ERROR_ACCESS_DENIED;
    }
    const std::string parent = speech_platform::path_of(key);
    const auto parts = speech_platform::split_path(com::to_utf8(subkey));
    if (parts.empty()) return ERROR_INVALID_PARAMETER;
    std::string path;
    bool created = false;
    const LSTATUS status = speech_platform::with_registry([&](json& content, bool& modified) {
        if (!speech_platform::is_root(key) && !speech_platform::find_key(content, parent)) {
            return ERROR_FILE_NOT_FOUND;
        }
        path = parent;
        for (const auto& part : parts) {
            const std::string next = path + "\\" + part;
            if (const auto found = speech_platform::find_key(content, next)) {
                path = *found;
            } else {
                content[next] = json::object();
                path = next;
                created = true;
                modified = true;
            }
        }
        return ERROR_SUCCESS;
    });
    if (status != ERROR_SUCCESS) return status;
    *result = new HKEY__{path, access};
    if (disposition != nullptr)
        *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

ZELVAN_RUNTIME_API LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subkey, DWORD, REGSAM access,
                                         HKEY* result) {
    if (key == nullptr || result == nullptr) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    std::string path = speech_platform::path_of(key);
    if (subkey != nullptr && *subkey != 0) path += "\\" + com::to_utf8(subkey);
    std::string stored;
    const LSTATUS status = speech_platform::with_registry([&](json& content, bool&) {
        const auto found = speech_platform::find_key(content, path);
        if (!found) return ERROR_FILE_NOT_FOUND;
        stored = *found;
        return ERROR_SUCCESS;
    });
    if (status != ERROR_SUCCESS) return status;
    *result = new HKEY__{stored, access};
    return ERROR_SUCCESS;
}

ZELVAN_RUNTIME_API LSTATUS RegSetValueExW(HKEY key, LPCWSTR value_name, DWORD reserved, DWORD type,
                                          const BYTE* data, DWORD size) {
    if (key == nullptr || reserved != 0) return ERROR_INVALID_PARAMETER;
    if (speech_platform::is_root(key) || (key->access & KEY_SET_VALUE) == 0) {
        return ERROR_ACCESS_DENIED;
    }
    // Only strings are ever written here.
    if (type != REG_SZ || (size % sizeof(WCHAR)) != 0 || (size > 0 && data == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    com::wstring text(reinterpret_cast<const WCHAR*>(data), size / sizeof(WCHAR));
    if (!text.empty() && text.back() == 0) text.pop_back();
    const std::string name = value_name == nullptr ? std::string() : com::to_utf8(value_name);
    return speech_platform::with_registry([&](json& content, bool& modified) {
        const auto found = speech_platform::find_key(content, key->path);
        if (!found) return ERROR_FILE_NOT_FOUND;
        json& values = content[*found];
        const auto existing = speech_platform::find_value(values, name);
        values[existing ? *existing : name] = com::to_utf8(text);
        modified = true;
        return ERROR_SUCCESS;
    });
}

ZELVAN_RUNTIME_API LSTATUS RegDeleteKeyW(HKEY key, LPCWSTR subkey) {
    if (key == nullptr || subkey == nullptr || *subkey == 0) return ERROR_INVALID_PARAMETER;
    const std::string path = speech_platform::path_of(key) + "\\" + com::to_utf8(subkey);
    return speech_platform::with_registry([&](json& content, bool& modified) {
        const auto found = speech_platform::find_key(content, path);
        if (!found) return ERROR_FILE_NOT_FOUND;
        const std::string prefix = ascii_lower(*found) + "\\";
        for (const auto& item : content.items()) {
            if (ascii_lower(item.key()).compare(0, prefix.size(), prefix) == 0) {
                return ERROR_ACCESS_DENIED;  // a key with subkeys stays
            }
        }
        content.erase(*found);
        modified = true;
        return ERROR_SUCCESS;
    });
}

ZELVAN_RUNTIME_API LSTATUS RegCloseKey(HKEY key) {
    if (key == nullptr) return ERROR_INVALID_HANDLE;
    if (!speech_platform::is_root(key)) delete key;
    return ERROR_SUCCESS;
}

}  // extern "C"
