#include "text/ssml.h"

#include "shared/symbols/code_points.h"
#include "shared/symbols/languages.h"
#include "shared/symbols/speakers.h"
#include "text/say_as.h"

#include <libxml/parser.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <mutex>

namespace zelvan_tts {

namespace {

bool equals_ignoring_case(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string_view trim(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

// A number with an optional sign at the start of `s`, and the rest of `s`
// after it (the unit).
struct Quantity {
    bool ok = false;
    bool signed_value = false;
    double value = 0.0;
    std::string_view unit;
};

Quantity read_quantity(std::string_view s) {
    Quantity q;
    s = trim(s);
    if (s.empty()) return q;
    double sign = 1.0;
    if (s.front() == '+' || s.front() == '-') {
        q.signed_value = true;
        if (s.front() == '-') sign = -1.0;
        s.remove_prefix(1);
    }
    double v = 0.0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || !std::isfinite(v)) return q;
    q.ok = true;
    q.value = sign * v;
    q.unit = trim(std::string_view(end, static_cast<std::size_t>(s.data() + s.size() - end)));
    return q;
}

struct Keyword {
    const char* name;
    float value;
};

template <std::size_t N>
bool find_keyword(const Keyword (&table)[N], std::string_view value, float& out) {
    for (const Keyword& k : table)
        if (equals_ignoring_case(value, k.name)) {
            out = k.value;
            return true;
        }
    return false;
}

float clamp_factor(double v, double low, double high) {
    return static_cast<float>(std::clamp(v, low, high));
}

// Invalid UTF-8 and the characters XML does not allow would make the whole
// message unreadable as XML; as U+FFFD and blanks they cost nothing.
std::string xml_safe(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t start = pos;
        const char32_t c = decode_utf8(text, pos);
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r')
            out += ' ';
        else if (c == 0xFFFD || c == 0xFFFE || c == 0xFFFF)
            append_utf8(out, 0xFFFD);
        else
            out.append(text, start, pos - start);
    }
    return out;
}

bool starts_with(std::string_view s, std::size_t pos, std::string_view prefix) {
    return s.size() - pos >= prefix.size() && s.compare(pos, prefix.size(), prefix) == 0;
}

bool contains_ignoring_case(std::string_view s, std::string_view what) {
    for (std::size_t i = 0; i + what.size() <= s.size(); ++i)
        if (equals_ignoring_case(s.substr(i, what.size()), what)) return true;
    return false;
}

// Whether libxml2 finds the document well-formed (with no network and no
// entity substitution; a document type was refused before).
bool well_formed(std::string_view document) {
    static std::once_flag init;
    std::call_once(init, [] { xmlInitParser(); });
    const std::string safe = xml_safe(document);
    if (safe.size() > static_cast<std::size_t>(INT_MAX)) return false;
    xmlDoc* doc = xmlReadMemory(safe.data(), static_cast<int>(safe.size()), nullptr, "UTF-8",
                                XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    const bool ok = doc != nullptr && doc->intSubset == nullptr &&
                    xmlDocGetRootElement(doc) != nullptr;
    if (doc != nullptr) xmlFreeDoc(doc);
    return ok;
}

// The character a reference at `pos` ("&amp;", "&#1078;", "&#x436;") stands
// for, and the position after it; 0 when there is none there.
char32_t read_reference(std::string_view s, std::size_t pos, std::size_t& after) {
    const std::size_t semi = s.find(';', pos);
    if (semi == std::string_view::npos || semi - pos > 12) return 0;
    const std::string_view name = s.substr(pos + 1, semi - pos - 1);
    after = semi + 1;
    static const struct {
        const char* name;
        char32_t c;
    } kNamed[] = {{"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}};
    for (const auto& n : kNamed)
        if (name == n.name) return n.c;
    if (name.size() < 2 || name[0] != '#') return 0;
    const bool hex = name[1] == 'x';
    const std::string_view digits = name.substr(hex ? 2 : 1);
    unsigned long value = 0;
    const auto [end, ec] =
        std::from_chars(digits.data(), digits.data() + digits.size(), value, hex ? 16 : 10);
    if (ec != std::errc() || end != digits.data() + digits.size() || value == 0 ||
        value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    return static_cast<char32_t>(value);
}

struct Attribute {
    std::string name;
    std::string value;
};

// One element, and what it changes for its content.
struct Open {
    std::string name;
    Prosody prosody;
    bool characters = false;
    bool separate = false;  // p and s: never run into the words around them
    bool silent = false;    // a <sub>'s or a <say-as>'s content, replaced by what is said
    SayAs say_as = SayAs::Text;  // a <say-as> whose content is read here
    std::string format;          // its format
    int voice = -1;              // the voice that reads the content; -1: the host's
    std::string lang;            // that voice's language (ISO 639-3)
};

// The given name in a voice's key: "alsu" of "tat_alsu", the same in both
// twins of a name.
std::string_view key_name(int voice) {
    const std::string_view key = speakers[static_cast<std::size_t>(voice)].speaker_name;
    return key.substr(key.find('_') + 1);
}

// The voice of language `lang`, of the sex `female` asks for (any when it
// is empty), that is most like `current`: its twin of the same name, else
// the first in table order; -1 when no voice speaks `lang`.
int voice_like(int current, std::string_view lang, std::string_view female) {
    int best = -1;
    int best_score = -1;
    for (int v = 0; v < static_cast<int>(kSpeakerTableSize); ++v) {
        if (lang != speakers[static_cast<std::size_t>(v)].lang) continue;
        int score = 0;
        if (female.empty() || is_female_speaker(v) == (female == "female")) score += 2;
        if (current >= 0 && key_name(v) == key_name(current)) score += 1;
        if (score > best_score) {
            best = v;
            best_score = score;
        }
    }
    return best;
}

class Reader {
public:
    Reader(std::string_view doc, int voice) : doc_(doc) {
        document_.voice = voice;
        document_.lang =
            voice >= 0 ? speakers[static_cast<std::size_t>(voice)].lang : std::string("rus");
    }

    std::vector<SpeechItem> items;

    // A well-formed document: its elements acted on.
    void read_markup() {
        std::size_t pos = 0;
        while (pos < doc_.size()) {
            if (doc_[pos] == '<') {
                pos = markup(pos);
            } else if (doc_[pos] == '&') {
                pos = reference(pos);
            } else {
                pos = characters(pos, doc_.find_first_of("<&", pos));
            }
        }
    }

    // Anything else: its text, what looks like markup left out.
    void read_text() {
        std::size_t pos = 0;
        while (pos < doc_.size()) {
            const char c = doc_[pos];
            const unsigned char next =
                pos + 1 < doc_.size() ? static_cast<unsigned char>(doc_[pos + 1]) : 0;
            if (c == '<' && (std::isalpha(next) || next == '/' || next == '!' || next == '?')) {
                const std::size_t close = doc_.find('>', pos);
                pos = close == std::string_view::npos ? doc_.size() : close + 1;
            } else if (c == '&') {
                pos = reference(pos);
            } else {
                std::size_t end = pos + 1;
                while (end < doc_.size() && doc_[end] != '<' && doc_[end] != '&') ++end;
                pos = characters(pos, end);
            }
        }
    }

private:
    const Open& top() const { return stack_.empty() ? document_ : stack_.back(); }

    // The voice an element asks for by xml:lang (on any element) or, on a
    // <voice>, by name, language and gender. A voice or a language that no
    // voice has keeps the voice there was.
    static void switch_voice(Open& scope, const std::vector<Attribute>& attributes,
                             bool voice_element) {
        bool found = false;
        std::string code = attribute(attributes, "xml:lang", &found);
        if (!found && voice_element) {
            const std::string languages = attribute(attributes, "languages");
            code = languages.substr(0, languages.find(' '));
        }
        const std::string lang = voice_language_of(trim(code));
        std::string female;
        if (voice_element) {
            const std::string names = attribute(attributes, "name");
            // A list of names: the first that a voice has.
            for (std::size_t at = 0; at < names.size();) {
                const std::size_t end = std::min(names.find(' ', at), names.size());
                std::vector<int> rows = voices_named(names.substr(at, end - at));
                const std::string_view token = std::string_view(names).substr(at, end - at);
                if (rows.empty() && !token.empty() && token.size() <= 2 &&
                    std::all_of(token.begin(), token.end(),
                                [](char c) { return c >= '0' && c <= '9'; }) &&
                    std::stoi(std::string(token)) < static_cast<int>(kSpeakerTableSize))
                    rows.push_back(std::stoi(std::string(token)));
                if (!rows.empty()) {
                    int row = rows.front();
                    for (int r : rows)
                        if (lang == speakers[static_cast<std::size_t>(r)].lang) {
                            row = r;
                            break;
                        }
                    scope.voice = row;
                    scope.lang = speakers[static_cast<std::size_t>(row)].lang;
                    return;
                }
                at = end + 1;
            }
            const std::string gender = ascii_lower(trim(attribute(attributes, "gender")));
            if (gender == "female" || gender == "male") female = gender;
        }
        if (lang.empty() && female.empty()) return;
        const std::string target = lang.empty() ? scope.lang : lang;
        if (female.empty() && target == scope.lang) return;  // the voice there is speaks it
        if (scope.voice >= 0 && target == speakers[static_cast<std::size_t>(scope.voice)].lang &&
            (female.empty() || is_female_speaker(scope.voice) == (female == "female")))
            return;
        const int chosen = voice_like(scope.voice, target, female);
        if (chosen < 0) return;
        scope.voice = chosen;
        scope.lang = target;
    }

    std::size_t markup(std::size_t pos) {
        const auto skip_to = [&](std::string_view end) {
            const std::size_t at = doc_.find(end, pos);
            return at == std::string_view::npos ? doc_.size() : at + end.size();
        };
        if (starts_with(doc_, pos, "<!--")) return skip_to("-->");
        if (starts_with(doc_, pos, "<?")) return skip_to("?>");
        if (starts_with(doc_, pos, "<![CDATA[")) {
            const std::size_t begin = pos + 9;
            const std::size_t end = std::min(doc_.find("]]>", begin), doc_.size());
            characters(begin, end);
            return std::min(end + 3, doc_.size());
        }
        if (starts_with(doc_, pos, "</")) {
            const std::size_t end = skip_to(">");
            close(ByteSpan{pos, end - pos});
            return end;
        }
        // A start tag: its name, then name="value" pairs; a ">" may stand
        // inside a quoted value.
        std::size_t i = pos + 1;
        const auto name_end = [&] {
            while (i < doc_.size() && !std::isspace(static_cast<unsigned char>(doc_[i])) &&
                   doc_[i] != '>' && doc_[i] != '/' && doc_[i] != '=')
                ++i;
        };
        std::size_t start = i;
        name_end();
        const std::string name(doc_.substr(start, i - start));
        std::vector<Attribute> attributes;
        bool empty = false;
        while (i < doc_.size() && doc_[i] != '>') {
            if (doc_[i] == '/') {
                empty = true;
                ++i;
            } else if (std::isspace(static_cast<unsigned char>(doc_[i]))) {
                ++i;
            } else {
                start = i;
                name_end();
                Attribute a;
                a.name.assign(doc_.substr(start, i - start));
                while (i < doc_.size() && doc_[i] != '"' && doc_[i] != '\'') ++i;
                if (i >= doc_.size()) break;
                const char quote = doc_[i++];
                const std::size_t value_end = std::min(doc_.find(quote, i), doc_.size());
                a.value = decode(doc_.substr(i, value_end - i));
                i = value_end + 1;
                attributes.push_back(std::move(a));
            }
        }
        const std::size_t end = std::min(i + 1, doc_.size());
        open(name, attributes, ByteSpan{pos, end - pos}, empty);
        return end;
    }

    static std::string decode(std::string_view value) {
        std::string out;
        for (std::size_t i = 0; i < value.size();) {
            std::size_t after = i + 1;
            const char32_t c = value[i] == '&' ? read_reference(value, i, after) : 0;
            if (c != 0) {
                append_utf8(out, c);
                i = after;
            } else {
                out += value[i++];
            }
        }
        return out;
    }

    static std::string attribute(const std::vector<Attribute>& attributes, const char* name,
                                 bool* found = nullptr) {
        for (const Attribute& a : attributes)
            if (a.name == name) {
                if (found) *found = true;
                return a.value;
            }
        if (found) *found = false;
        return std::string();
    }

    void open(const std::string& name, const std::vector<Attribute>& attributes, ByteSpan span,
              bool empty) {
        if (top().silent) {
            if (!empty) stack_.push_back(top());
            return;
        }
        bool found = false;
        if (equals_ignoring_case(name, "mark")) {
            const std::string mark = attribute(attributes, "name", &found);
            if (found) add(SpeechItem::Kind::Mark, mark, span);
        } else if (equals_ignoring_case(name, "break")) {
            add(SpeechItem::Kind::Break, "", span);
            items.back().break_ms =
                break_duration(attribute(attributes, "time"), attribute(attributes, "strength"));
        }
        Open inner = top();
        inner.name = name;
        inner.separate = equals_ignoring_case(name, "p") || equals_ignoring_case(name, "s");
        switch_voice(inner, attributes, equals_ignoring_case(name, "voice"));
        if (equals_ignoring_case(name, "prosody")) {
            inner.prosody.rate *= prosody_rate(attribute(attributes, "rate"));
            inner.prosody.pitch *= prosody_pitch(attribute(attributes, "pitch"));
            inner.prosody.volume *= prosody_volume(attribute(attributes, "volume"));
        } else if (equals_ignoring_case(name, "say-as")) {
            const SayAs kind = say_as_kind(attribute(attributes, "interpret-as"));
            if (kind == SayAs::Characters) {
                inner.characters = true;
            } else if (kind != SayAs::Text && !empty) {
                // The content is gathered and read as a whole once the
                // element closes; what is said comes from all of it.
                inner.silent = true;
                inner.say_as = kind;
                inner.format = attribute(attributes, "format");
                gathered_.clear();
                gathered_source_.clear();
                alias_begin_ = span.offset;
            }
        } else if (equals_ignoring_case(name, "sub")) {
            const std::string alias = attribute(attributes, "alias", &found);
            if (found) {
                // The alias is said in place of the content; it comes from
                // the whole element, known once it closes.
                alias_ = alias;
                alias_begin_ = span.offset;
                inner.silent = true;
            }
        }
        if (inner.separate) blank(span);
        if (!empty) {
            stack_.push_back(std::move(inner));
        } else if (inner.separate) {
            blank(span);
        }
        if (empty && inner.silent && inner.say_as == SayAs::Text) {
            text(alias_, ByteSpan{span.offset, span.length});
        }
    }

    void close(ByteSpan span) {
        if (stack_.empty()) return;
        const Open closed = stack_.back();
        stack_.pop_back();
        if (closed.silent && !top().silent) {
            const ByteSpan whole{alias_begin_, span.offset + span.length - alias_begin_};
            if (closed.say_as == SayAs::Text) {
                text(alias_, whole);
                return;
            }
            const std::string words =
                say_as_words(closed.say_as, gathered_, closed.format, closed.lang);
            if (!words.empty()) {
                text(words, whole);
                return;
            }
            // Not written as the element says: read as it stands.
            for (std::size_t i = 0; i < gathered_.size(); ++i)
                text(std::string_view(gathered_).substr(i, 1), gathered_source_[i]);
            return;
        }
        if (closed.separate && !closed.silent) blank(span);
    }

    void blank(ByteSpan span) { text(" ", span); }

    std::size_t reference(std::size_t pos) {
        std::size_t after = pos + 1;
        const char32_t c = read_reference(doc_, pos, after);
        if (c == 0) return characters(pos, pos + 1);
        std::string s;
        append_utf8(s, c);
        text(s, ByteSpan{pos, after - pos});
        return after;
    }

    // Bytes [begin, end) of the document as they stand, with what XML cannot
    // hold (control characters, invalid UTF-8) as blanks and U+FFFD.
    std::size_t characters(std::size_t begin, std::size_t end) {
        end = std::min(end, doc_.size());
        std::size_t pos = begin;
        while (pos < end) {
            const std::size_t start = pos;
            const char32_t c = decode_utf8(doc_, pos);
            pos = std::min(pos, end);
            std::string s;
            if (c < 0x20 && c != '\t' && c != '\n' && c != '\r')
                s = " ";
            else if (c == 0xFFFD || c == 0xFFFE || c == 0xFFFF)
                append_utf8(s, 0xFFFD);
            else
                s.assign(doc_.substr(start, pos - start));
            text(s, ByteSpan{start, pos - start});
        }
        return end;
    }

    // Appends `s`, all of it from `span`, to the run of the current reading.
    void text(std::string_view s, ByteSpan span) {
        if (s.empty()) return;
        const Open& now = top();
        if (now.silent) {
            if (now.say_as != SayAs::Text) {
                gathered_.append(s);
                gathered_source_.insert(gathered_source_.end(), s.size(), span);
            }
            return;
        }
        const bool merge = !items.empty() && items.back().kind == SpeechItem::Kind::Text &&
                           items.back().characters == now.characters &&
                           items.back().voice == now.voice &&
                           items.back().prosody.rate == now.prosody.rate &&
                           items.back().prosody.pitch == now.prosody.pitch &&
                           items.back().prosody.volume == now.prosody.volume;
        if (!merge) {
            items.emplace_back();
            items.back().prosody = now.prosody;
            items.back().characters = now.characters;
            items.back().voice = now.voice;
        }
        SpeechItem& run = items.back();
        run.text.append(s);
        run.source.insert(run.source.end(), s.size(), span);
    }

    void add(SpeechItem::Kind kind, std::string value, ByteSpan span) {
        SpeechItem item;
        item.kind = kind;
        item.text = std::move(value);
        item.source.push_back(span);
        item.voice = top().voice;
        items.push_back(std::move(item));
    }

    std::string_view doc_;
    Open document_;
    std::vector<Open> stack_;
    std::string alias_;
    std::size_t alias_begin_ = 0;     // where the <sub> or <say-as> being read starts
    std::string gathered_;            // the <say-as>'s content so far
    std::vector<ByteSpan> gathered_source_;
};

}  // namespace

float prosody_rate(std::string_view value) {
    static const Keyword kWords[] = {{"x-slow", 0.5f}, {"slow", 0.75f}, {"medium", 1.0f},
                                     {"fast", 1.5f},   {"x-fast", 2.0f}, {"default", 1.0f}};
    float k = 1.0f;
    if (find_keyword(kWords, trim(value), k)) return k;
    const Quantity q = read_quantity(value);
    if (!q.ok) return 1.0f;
    double factor = 1.0;
    if (q.unit == "%")
        factor = q.signed_value ? 1.0 + q.value / 100.0 : q.value / 100.0;
    else if (q.unit.empty())
        factor = q.signed_value ? 1.0 + q.value : q.value;
    return clamp_factor(factor, 0.2, 5.0);
}

float prosody_pitch(std::string_view value) {
    static const Keyword kWords[] = {{"x-low", 0.7f}, {"low", 0.85f},   {"medium", 1.0f},
                                     {"high", 1.15f}, {"x-high", 1.3f}, {"default", 1.0f}};
    float k = 1.0f;
    if (find_keyword(kWords, trim(value), k)) return k;
    const Quantity q = read_quantity(value);
    if (!q.ok) return 1.0f;
    double factor = 1.0;
    if (q.unit == "%")
        factor = q.signed_value ? 1.0 + q.value / 100.0 : q.value / 100.0;
    else if (q.unit == "st")
        factor = std::pow(2.0, q.value / 12.0);
    // Hertz are absolute and the voice's own pitch is not known here.
    return clamp_factor(factor, 0.25, 4.0);
}

float prosody_volume(std::string_view value) {
    static const Keyword kWords[] = {{"silent", 0.0f}, {"x-soft", 0.25f}, {"soft", 0.5f},
                                     {"medium", 1.0f}, {"loud", 1.5f},    {"x-loud", 2.0f},
                                     {"default", 1.0f}};
    float k = 1.0f;
    if (find_keyword(kWords, trim(value), k)) return k;
    const Quantity q = read_quantity(value);
    if (!q.ok) return 1.0f;
    double factor = 1.0;
    if (q.unit == "dB" || q.unit == "db")
        factor = std::pow(10.0, q.value / 20.0);
    else if (q.unit == "%")
        factor = q.signed_value ? 1.0 + q.value / 100.0 : q.value / 100.0;
    else if (q.unit.empty() && !q.signed_value)
        factor = q.value / 100.0;  // the 0..100 scale of SSML 1.0
    return clamp_factor(factor, 0.0, 4.0);
}

int break_duration(std::string_view time, std::string_view strength) {
    const Quantity q = read_quantity(time);
    if (q.ok && !q.signed_value) {
        double ms = -1.0;
        if (q.unit == "ms" || q.unit.empty())
            ms = q.value;
        else if (q.unit == "s")
            ms = q.value * 1000.0;
        if (ms >= 0.0) return static_cast<int>(std::min(ms, static_cast<double>(kMaxBreakMs)));
    }
    static const Keyword kWords[] = {{"none", 0.0f},     {"x-weak", 100.0f}, {"weak", 250.0f},
                                     {"medium", 500.0f}, {"strong", 1000.0f}, {"x-strong", 2000.0f}};
    float k = 500.0f;
    find_keyword(kWords, trim(strength), k);
    return static_cast<int>(k);
}

std::vector<SpeechItem> parse_ssml(std::string_view document, int voice) {
    // A document type could declare entities that grow without bound or
    // name files and addresses; screen readers never send one.
    if (contains_ignoring_case(document, "<!DOCTYPE") ||
        contains_ignoring_case(document, "<!ENTITY"))
        throw SsmlRefused();
    if (voice < 0 || voice >= static_cast<int>(kSpeakerTableSize)) voice = -1;
    Reader reader(document, voice);
    if (well_formed(document))
        reader.read_markup();
    else
        reader.read_text();
    std::vector<SpeechItem> items;
    for (SpeechItem& item : reader.items)
        if (item.kind != SpeechItem::Kind::Text || !trim(item.text).empty())
            items.push_back(std::move(item));
    return items;
}

}  // namespace zelvan_tts
