#include "speechd/module_config.h"

#include <fstream>
#include <sstream>

namespace zelvan_tts::speechd {

ModuleConfig parse_module_config(std::string_view text) {
    ModuleConfig config;
    std::istringstream lines{std::string(text)};
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string name;
        if (!(fields >> name) || name[0] == '#') continue;
        std::string value;
        std::getline(fields >> std::ws, value);
        while (!value.empty() && (value.back() == ' ' || value.back() == '\r' || value.back() == '\t'))
            value.pop_back();
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (name == "ZelvanModelPath") config.model_path = value;
        if (name == "ZelvanDefaultVoice") config.default_voice = value;
    }
    return config;
}

ModuleConfig read_module_config(const std::string& path) {
    std::ifstream file(path);
    if (!file) return {};
    std::ostringstream text;
    text << file.rdbuf();
    return parse_module_config(text.str());
}

}  // namespace zelvan_tts::speechd
