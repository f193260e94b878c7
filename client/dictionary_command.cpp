#include "client/dictionary_command.h"

#include "client/server_commands.h"
#include "core/settings.h"
#include "platform/utf8_path.h"
#include "shared/symbols/code_points.h"
#include "text/user_dictionary.h"

#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>

namespace zelvan_tts {

namespace {

namespace fs = std::filesystem;

constexpr int kExitFailed = 1;

struct Arguments {
    std::vector<std::string> words;
    std::optional<std::string> lang;
};

// The words and --lang after the subcommand; nullopt after a usage message.
std::optional<Arguments> parse_arguments(const std::vector<std::string>& args, std::ostream& err) {
    Arguments parsed;
    bool options = true;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (options && arg == "--") {
            options = false;
        } else if (options && arg == "--lang") {
            if (i + 1 == args.size()) {
                err << "zelvan_tts: --lang needs a language, as ru or kk\n";
                return std::nullopt;
            }
            parsed.lang = args[++i];
        } else if (options && arg.rfind("--lang=", 0) == 0) {
            parsed.lang = arg.substr(7);
        } else if (options && arg.size() > 1 && arg[0] == '-' && arg[1] == '-') {
            err << "zelvan_tts: unknown option " << arg << "\n";
            return std::nullopt;
        } else {
            parsed.words.push_back(arg);
        }
    }
    return parsed;
}

bool is_blank_line(const std::string& line) {
    return line.find_first_not_of(" \t\r\v\f") == std::string::npos;
}

// The file as lines, changed in place and written back whole, so that the
// comments and the lines the command does not touch stay as they were.
struct DictionaryFile {
    std::string path;                // UTF-8
    std::vector<std::string> lines;  // without their line feeds
    std::string cr;                  // "\r" when the lines end in CR LF
};

// A line as the loader reads it, with the language its entries are for ("rus"
// before any section, empty under a section of no voice's language).
struct ScopedLine {
    DictionaryLine line;
    std::string lang;
};

std::vector<ScopedLine> read_lines(const DictionaryFile& file) {
    std::vector<ScopedLine> scoped;
    scoped.reserve(file.lines.size());
    std::string lang = "rus";
    for (std::size_t i = 0; i < file.lines.size(); ++i) {
        std::string_view text = file.lines[i];
        if (i == 0 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
        DictionaryLine line = parse_dictionary_line(text);
        if (line.kind == DictionaryLine::Section) lang = line.lang;
        scoped.push_back({std::move(line), lang});
    }
    return scoped;
}

// The dictionary file; no lines when there is none yet. Nullopt after a
// message when it cannot be read: a change must not write over it.
std::optional<DictionaryFile> read_file(std::ostream& err) {
    DictionaryFile file;
    file.path = dictionary_file_path();
    if (file.path.empty()) {
        err << "zelvan_tts: the user's application-data folder is unknown\n";
        return std::nullopt;
    }
    const fs::path path = path_from_utf8(file.path);
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (status.type() == fs::file_type::not_found) return file;
    std::ifstream in(path, std::ios::binary);
    std::string text;
    if (!ec && fs::is_regular_file(status) && in) {
        text.resize(fs::file_size(path, ec));
        in.read(text.data(), static_cast<std::streamsize>(text.size()));
    }
    if (ec || !fs::is_regular_file(status) || !in) {
        err << "zelvan_tts: cannot read " << file.path << "\n";
        return std::nullopt;
    }
    for (std::size_t begin = 0; begin < text.size();) {
        std::size_t end = text.find('\n', begin);
        if (end == std::string::npos) end = text.size();
        file.lines.push_back(text.substr(begin, end - begin));
        begin = end + 1;
    }
    if (!file.lines.empty() && !file.lines[0].empty() && file.lines[0].back() == '\r')
        file.cr = "\r";
    return file;
}

int write_file(const DictionaryFile& file, std::ostream& err) {
    std::string content;
    for (const std::string& line : file.lines) content += line + "\n";
    if (!SettingsStore::instance().save_dictionary(content)) {
        err << "zelvan_tts: cannot write " << file.path << "\n";
        return kExitFailed;
    }
    return 0;
}

int add_entry(const Arguments& args, std::ostream& out, std::ostream& err) {
    if (args.words.size() < 2) {
        err << "zelvan_tts: dict add needs a WORD and its REPLACEMENT\n";
        return kExitUsage;
    }
    const std::string lang_name = ascii_lower(args.lang.value_or("ru"));
    const std::string lang = dictionary_language(lang_name);
    if (lang.empty()) {
        err << "zelvan_tts: no voice speaks \"" << lang_name << "\" (use ru, uk, be, kk, ...)\n";
        return kExitUsage;
    }
    const std::string& word = args.words[0];
    std::string replacement;
    for (std::size_t i = 1; i < args.words.size(); ++i) {
        replacement += (i > 1 ? " " : "") + args.words[i];
    }
    std::string problem;
    if ((word + replacement).find_first_of("\r\n") != std::string::npos) {
        problem = "the word and its replacement are one line each";
    } else if (word.find_first_of("=#") != std::string::npos) {
        problem = "a word cannot hold \"=\" or \"#\"";
    } else if (replacement.find('#') != std::string::npos) {
        problem = "a replacement cannot hold \"#\", which starts a comment";
    }
    DictionaryLine entry = parse_dictionary_line(word + "=" + replacement);
    if (problem.empty() && entry.kind != DictionaryLine::Entry) {
        problem =
            entry.problem.empty() ? "\"" + word + "\" does not start with a letter" : entry.problem;
    }
    if (!problem.empty()) {
        err << "zelvan_tts: " << problem << "\n";
        return kExitUsage;
    }

    std::optional<DictionaryFile> file = read_file(err);
    if (!file) return kExitFailed;
    const std::string text = entry.word + "=" + entry.replacement;
    const std::vector<ScopedLine> lines = read_lines(*file);
    std::vector<std::size_t> same;  // lines of this word in this language
    std::optional<std::size_t> last_in_scope, first_section;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const DictionaryLine& line = lines[i].line;
        if (line.kind == DictionaryLine::Section && !first_section) first_section = i;
        if (lines[i].lang != lang) continue;
        if (line.kind == DictionaryLine::Section || line.kind == DictionaryLine::Entry) {
            last_in_scope = i;
        }
        if (line.kind == DictionaryLine::Entry && line.word == entry.word) same.push_back(i);
    }

    auto& rows = file->lines;
    if (!same.empty()) {
        // The first line takes the new reading and keeps its comment; the
        // others said the same word again and go.
        std::string& row = rows[same[0]];
        const std::size_t hash = row.find('#');
        std::string comment = hash == std::string::npos ? "" : "  " + row.substr(hash);
        if (!comment.empty() && comment.back() == '\r') comment.pop_back();
        row = text + comment + file->cr;
        for (std::size_t k = same.size(); k-- > 1;) rows.erase(rows.begin() + same[k]);
        out << "changed " << text << " (" << lang << ")\n";
    } else if (last_in_scope) {
        rows.insert(rows.begin() + *last_in_scope + 1, text + file->cr);
        out << "added " << text << " (" << lang << ")\n";
    } else if (lang == "rus") {
        // Before the first section, where the entries without one are.
        std::size_t at = first_section.value_or(rows.size());
        while (at > 0 && is_blank_line(rows[at - 1])) --at;
        rows.insert(rows.begin() + at, text + file->cr);
        out << "added " << text << " (" << lang << ")\n";
    } else {
        if (!rows.empty() && !is_blank_line(rows.back())) rows.push_back(file->cr);
        rows.push_back("[" + lang_name + "]" + file->cr);
        rows.push_back(text + file->cr);
        out << "added " << text << " (" << lang << ")\n";
    }
    return write_file(*file, err);
}

int remove_entry(const Arguments& args, std::ostream& out, std::ostream& err) {
    if (args.words.size() != 1) {
        err << "zelvan_tts: dict remove takes one WORD\n";
        return kExitUsage;
    }
    std::string lang;
    if (args.lang) {
        lang = dictionary_language(*args.lang);
        if (lang.empty()) {
            err << "zelvan_tts: no voice speaks \"" << *args.lang
                << "\" (use ru, uk, be, kk, ...)\n";
            return kExitUsage;
        }
    }
    std::optional<DictionaryFile> file = read_file(err);
    if (!file) return kExitFailed;
    const std::vector<ScopedLine> lines = read_lines(*file);
    std::size_t removed = 0;
    for (std::size_t i = lines.size(); i-- > 0;) {
        const DictionaryLine& line = lines[i].line;
        if (line.kind != DictionaryLine::Entry || line.word != args.words[0]) continue;
        if (!lang.empty() && lines[i].lang != lang) continue;
        file->lines.erase(file->lines.begin() + i);
        ++removed;
    }
    if (removed == 0) {
        err << "zelvan_tts: the dictionary has no entry \"" << args.words[0] << "\""
            << (args.lang ? " for " + *args.lang : "") << "\n";
        return kExitFailed;
    }
    out << "removed " << args.words[0] << "\n";
    return write_file(*file, err);
}

int list_entries(const Arguments& args, std::ostream& out, std::ostream& err) {
    if (!args.words.empty() || args.lang) {
        err << "zelvan_tts: dict list takes no arguments\n";
        return kExitUsage;
    }
    const std::optional<DictionaryFile> file = read_file(err);
    if (!file) return kExitFailed;
    std::string shown = "rus";
    std::size_t count = 0;
    for (const ScopedLine& scoped : read_lines(*file)) {
        if (scoped.line.kind != DictionaryLine::Entry || scoped.lang.empty()) continue;
        if (scoped.lang != shown) out << "[" << (shown = scoped.lang) << "]\n";
        out << scoped.line.word << "=" << scoped.line.replacement << "\n";
        ++count;
    }
    if (count == 0) err << "zelvan_tts: no entries in " << file->path << "\n";
    return 0;
}

int check_file(const Arguments& args, std::ostream& out, std::ostream& err) {
    if (!args.words.empty() || args.lang) {
        err << "zelvan_tts: dict check takes no arguments\n";
        return kExitUsage;
    }
    const std::string path = dictionary_file_path();
    if (path.empty()) {
        err << "zelvan_tts: the user's application-data folder is unknown\n";
        return kExitFailed;
    }
    std::vector<DictionaryProblem> problems;
    const UserDictionary dictionary = UserDictionary::load(path_from_utf8(path), &problems);
    for (const DictionaryProblem& problem : problems) {
        out << path << (problem.line > 0 ? ":" + std::to_string(problem.line) : "") << ": "
            << problem.message << "\n";
    }
    if (!problems.empty()) return kExitFailed;
    out << path << ": " << dictionary.size() << (dictionary.size() == 1 ? " entry" : " entries")
        << ", every line readable\n";
    return 0;
}

}  // namespace

int run_dictionary_command(const std::vector<std::string>& args, std::ostream& out,
                           std::ostream& err) {
    const std::string command = args.empty() ? "" : args[0];
    const std::optional<Arguments> parsed = parse_arguments(args, err);
    if (!parsed) return kExitUsage;
    if (command == "add") return add_entry(*parsed, out, err);
    if (command == "remove") return remove_entry(*parsed, out, err);
    if (command == "list") return list_entries(*parsed, out, err);
    if (command == "check") return check_file(*parsed, out, err);
    err << "zelvan_tts: dict needs add, remove, list or check\n" << kDictionaryUsage;
    return kExitUsage;
}

}  // namespace zelvan_tts
