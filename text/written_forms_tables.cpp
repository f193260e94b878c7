#include "text/written_forms_tables.h"

#include <algorithm>
#include <sstream>

namespace zelvan_tts {

// The data file text/ru/written_forms.tsv, built into the program.
extern const char kRussianWrittenForms[];

namespace {

std::vector<std::string> split(const std::string& line, char by) {
    std::vector<std::string> out;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, by))
        if (by != ' ' || !field.empty()) out.push_back(field);
    return out;
}

bool read_forms(const std::string& field, std::array<std::string, 6>& forms) {
    const std::vector<std::string> words = split(field, ' ');
    if (words.size() != 6) return false;
    // "_" joins the words of a form of several: "квадр+атный_м+етр".
    for (std::size_t k = 0; k < 6; ++k) {
        forms[k] = words[k];
        std::replace(forms[k].begin(), forms[k].end(), '_', ' ');
    }
    return true;
}

Gender gender_of(const std::string& code) {
    if (code == "f") return Gender::Feminine;
    if (code == "n") return Gender::Neuter;
    if (code == "p") return Gender::Plural;
    return Gender::Masculine;
}

}  // namespace

const WrittenFormsTables& russian_written_forms() {
    static const WrittenFormsTables tables = [] {
        WrittenFormsTables t;
        std::istringstream in(kRussianWrittenForms);
        std::string line;
        std::string section;
        while (std::getline(in, line)) {
            // "# " starts a comment; "#" and a tab is the sign's own entry.
            if (line.empty() || (line[0] == '#' && (line.size() == 1 || line[1] == ' '))) continue;
            if (line[0] == '[') {
                section = line;
                continue;
            }
            const std::vector<std::string> f = split(line, '\t');
            if (section == "[phrases]" && f.size() >= 2) {
                t.phrases[f[0]] = f[1];
            } else if (section == "[nouns]" && f.size() >= 3) {
                AbbreviatedNoun n;
                n.place = f[1] == "number" ? NounPlace::BeforeNumber
                          : f[1] == "name" ? NounPlace::BeforeName
                                           : NounPlace::Any;
                if (read_forms(f[2], n.noun.singular)) t.nouns[f[0]] = n;
            } else if ((section == "[units]" || section == "[signs]") && f.size() >= 4) {
                Noun n;
                n.gender = gender_of(f[1]);
                if (!read_forms(f[2], n.singular) || !read_forms(f[3], n.plural)) continue;
                if (f.size() >= 5) n.tail = f[4];
                if (section == "[units]") {
                    t.units.emplace_back(f[0], n);
                } else {
                    t.signs[f[0]] = n;
                }
            }
        }
        std::stable_sort(t.units.begin(), t.units.end(),
                         [](const auto& a, const auto& b) { return a.first.size() > b.first.size(); });
        return t;
    }();
    return tables;
}

}  // namespace zelvan_tts
