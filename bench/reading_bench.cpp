// reading_bench [DATA.tsv] [--no-espeak]
// How well the Russian text steps read real text aloud: each sentence of the
// data file goes through the text steps (stress and homographs off, so only
// the written forms and the numbers act), and what they say is compared with
// the reading a Russian reader gives, written by hand in the file. espeak-ng,
// the peer, is compared by its phonemes: the written sentence and the
// expected reading must give the same phonemes, vowel reduction and stress
// aside (see phoneme_skeleton).
//
// Prints Markdown: a table per group and in total, then every sentence that
// is still read wrong. The data file is UTF-8, one sentence a line:
// group <TAB> source <TAB> written <TAB> expected; lines starting with '#'
// and empty lines are skipped.
#include "core/settings.h"
#include "engine/text_stages.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#ifndef ZELVAN_SOURCE_DIR
#define ZELVAN_SOURCE_DIR "."
#endif

namespace {

using namespace zelvan_tts;

struct Sentence {
    std::string group;
    std::string source;
    std::string written;
    std::string expected;
    int line = 0;
};

std::vector<std::string> split_tabs(const std::string& line) {
    std::vector<std::string> fields;
    std::string field;
    for (char c : line) {
        if (c == '\t') fields.push_back(std::move(field)), field.clear();
        else if (c != '\r') field += c;
    }
    fields.push_back(field);
    return fields;
}

// Throws with the file's line number when a line is not four fields, so that
// a broken edit of the data is seen at once rather than silently dropped.
std::vector<Sentence> read_data(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + path);
    std::vector<Sentence> out;
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> f = split_tabs(line);
        if (f.size() != 4 || f[2].empty() || f[3].empty()) {
            throw std::runtime_error(path + ":" + std::to_string(number) +
                                     ": expected 4 tab-separated fields");
        }
        out.push_back({f[0], f[1], f[2], f[3], number});
    }
    return out;
}

// One code point from UTF-8 at `i`, advancing `i`; a stray byte is itself.
char32_t next_code_point(const std::string& s, std::size_t& i) {
    const auto b = static_cast<unsigned char>(s[i]);
    int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
    if (extra > 0 && i + extra >= s.size()) extra = 0;
    char32_t c = extra == 0 ? b : b & (0x3F >> extra);
    std::size_t j = i + 1;
    for (int k = 0; k < extra; ++k, ++j) {
        const auto t = static_cast<unsigned char>(s[j]);
        if ((t & 0xC0) != 0x80) { extra = 0; c = b; j = i + 1; break; }
        c = (c << 6) | (t & 0x3F);
    }
    i = j;
    return c;
}

void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Letters of the scripts the data holds: Latin, Cyrillic (with Ё/ё).
bool is_letter(char32_t c) {
    return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z') ||
           (c >= 0xC0 && c <= 0x24F && c != 0xD7 && c != 0xF7) ||
           (c >= 0x400 && c <= 0x4FF);
}

char32_t lower(char32_t c) {
    if (c >= U'A' && c <= U'Z') return c + 32;
    if (c >= 0x410 && c <= 0x42F) return c + 32;   // А..Я
    if (c >= 0x400 && c <= 0x40F) return c + 80;   // Ѐ..Џ, Ё among them
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
    return c;
}

// Lower case, ё as е, stress marks '+' dropped, everything that is not a
// letter a blank, blanks collapsed and trimmed.
std::string normalise_reading(const std::string& text) {
    std::string out;
    bool blank = false;
    for (std::size_t i = 0; i < text.size();) {
        char32_t c = next_code_point(text, i);
        if (c == U'+' || c == 0x301) continue;  // written and combining stress
        c = lower(c);
        if (c == 0x451) c = 0x435;  // ё → е
        if (!is_letter(c)) {
            blank = !out.empty();
            continue;
        }
        if (blank) out += ' ';
        blank = false;
        append_utf8(out, c);
    }
    return out;
}

// espeak-ng's phonemes with what does not tell one reading from another
// taken out: stress, pauses, palatalisation marks and word gaps dropped,
// every vowel one symbol, voiced and voiceless consonants alike. espeak-ng
// reduces the vowels of a number it spells out itself otherwise than those
// of the same words written out ("десять" is d;'es;It; from digits,
// d;'es;Vt; from letters), so exact phoneme strings never match; the
// consonants and the number of vowels still tell "пять" from "пяти" and
// "десять ноль" from "десять тысяч".
std::string phoneme_skeleton(const std::string& phonemes) {
    auto vowel = [](char c) { return c != '\0' && std::strchr("aeiouyAEIOUVY8", c) != nullptr; };
    std::string out;
    for (std::size_t i = 0; i < phonemes.size(); ++i) {
        const char c = phonemes[i];
        const char next = i + 1 < phonemes.size() ? phonemes[i + 1] : '\0';
        // The short vowel espeak-ng puts before r (@-r) comes and goes.
        if (c == '@' && next == '-') {
            ++i;
            continue;
        }
        // So does the glide of a diphthong and of a stressed syllable after a
        // soft consonant ("ноль" n'ojl from digits, n'ol from letters; "пять"
        // p;'jat; and p;'At;).
        if (c == 'j') {
            if (!out.empty() && out.back() == 'V' && !vowel(next)) continue;
            if (i >= 2 && phonemes[i - 1] == '\'' && phonemes[i - 2] == ';') continue;
        }
        if (vowel(c) || c == '@') {
            out += 'V';
            continue;
        }
        // Voicing assimilates differently across a number's words, and the
        // trill has three symbols.
        static const char pairs[] = "bpdtgkzsZSvfRr*r";
        char k = c;
        for (const char* p = pairs; *p != '\0'; p += 2) {
            if (k == p[0]) {
                k = p[1];
                break;
            }
        }
        if ((k >= 'a' && k <= 'z') || (k >= 'A' && k <= 'Z')) out += k;
    }
    return out;
}

// espeak-ng's Russian phonemes for `text` as a skeleton; empty when it cannot
// be run. The text goes through a file, never through the shell.
std::string espeak_phonemes(const std::string& text, const std::string& scratch) {
    {
        std::ofstream f(scratch, std::ios::binary | std::ios::trunc);
        f << text << "\n";
    }
    const std::string command = "espeak-ng -q -x -v ru -f '" + scratch + "' 2>/dev/null";
    FILE* p = popen(command.c_str(), "r");
    if (p == nullptr) return {};
    std::string out;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
    if (pclose(p) != 0) return {};
    return phoneme_skeleton(out);
}

bool espeak_available() {
    return std::system("command -v espeak-ng >/dev/null 2>&1") == 0;
}

std::string percent(int part, int whole) {
    if (whole == 0) return "–";
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.1f", 100.0 * part / whole);
    return buffer;
}

// Table cells must not break the Markdown table.
std::string cell(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '|') out += "\\|";
        else if (c == '\n' || c == '\t') out += ' ';
        else out += c;
    }
    return out;
}

struct Tally {
    int sentences = 0;
    int zelvan_right = 0;
    int espeak_tried = 0;
    int espeak_right = 0;
};

}  // namespace

int main(int argc, char** argv) {
    std::string path = std::string(ZELVAN_SOURCE_DIR) + "/bench/data/ru_reading.tsv";
    bool use_espeak = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--no-espeak") use_espeak = false;
        else if (arg == "-h" || arg == "--help") {
            std::cout << "usage: reading_bench [DATA.tsv] [--no-espeak]\n";
            return 0;
        } else if (!arg.empty() && arg[0] == '-') {
            std::cerr << "reading_bench: unknown option " << arg << "\n";
            return 2;
        } else path = arg;
    }
    std::vector<Sentence> data;
    try {
        data = read_data(path);
    } catch (const std::exception& e) {
        std::cerr << "reading_bench: " << e.what() << "\n";
        return 1;
    }
    if (use_espeak && !espeak_available()) {
        std::cerr << "reading_bench: espeak-ng not found; its column is left empty\n";
        use_espeak = false;
    }
    const std::string scratch =
        (std::getenv("TMPDIR") ? std::string(std::getenv("TMPDIR")) : std::string("/tmp")) +
        "/reading_bench_" + std::to_string(static_cast<long>(::getpid())) + ".txt";

    RuntimeSettings settings;
    settings.enable_accentor = false;
    settings.enable_homosolver = false;
    settings.enable_reading = true;

    std::vector<std::string> order;
    std::map<std::string, Tally> groups;
    Tally total;
    struct Miss {
        const Sentence* s;
        std::string said;
    };
    std::vector<Miss> misses;
    for (const Sentence& s : data) {
        if (!groups.count(s.group)) order.push_back(s.group);
        Tally& g = groups[s.group];
        std::string said;
        try {
            said = process_text(s.written, "rus", settings).numbers;
        } catch (const std::exception& e) {
            said = std::string("(error: ") + e.what() + ")";
        }
        const bool right = normalise_reading(said) == normalise_reading(s.expected);
        ++g.sentences, ++total.sentences;
        if (right) ++g.zelvan_right, ++total.zelvan_right;
        else misses.push_back({&s, said});
        if (use_espeak) {
            const std::string a = espeak_phonemes(s.written, scratch);
            const std::string b = espeak_phonemes(s.expected, scratch);
            if (!a.empty() && !b.empty()) {
                ++g.espeak_tried, ++total.espeak_tried;
                if (a == b) ++g.espeak_right, ++total.espeak_right;
            }
        }
    }
    if (use_espeak) std::remove(scratch.c_str());

    std::cout << "| group | sentences | Zelvan exactly right, % | espeak-ng right, % |\n"
              << "|---|---|---|---|\n";
    auto row = [&](const std::string& name, const Tally& t) {
        std::cout << "| " << name << " | " << t.sentences << " | "
                  << percent(t.zelvan_right, t.sentences) << " | "
                  << (use_espeak ? percent(t.espeak_right, t.espeak_tried) : "–") << " |\n";
    };
    for (const std::string& name : order) row(name, groups[name]);
    row("**total**", total);
    std::cout << "\nSentences still read wrong (" << misses.size() << " of " << total.sentences
              << "):\n\n";
    if (!misses.empty()) {
        std::cout << "| group | written | Zelvan said | expected |\n|---|---|---|---|\n";
        for (const Miss& m : misses) {
            std::cout << "| " << m.s->group << " | " << cell(m.s->written) << " | " << cell(m.said)
                      << " | " << cell(m.s->expected) << " |\n";
        }
    }
    return 0;
}
