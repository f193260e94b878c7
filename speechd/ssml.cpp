#include "speechd/ssml.h"

#include "shared/symbols/code_points.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <mutex>

namespace zelvan_tts::speechd {

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

// Plain text: the message itself, less the envelope speech-dispatcher adds.
std::string without_envelope(std::string_view text) {
    std::string_view inner = text;
    const std::string_view t = trim(text);
    if (t.size() >= 7 && equals_ignoring_case(t.substr(0, 6), "<speak") &&
        (t[6] == '>' || t[6] == ' ' || t[6] == '\t' || t[6] == '\n')) {
        const std::size_t close = t.find('>');
        inner = t.substr(close + 1);
        const std::string_view tail = trim(inner);
        if (tail.size() >= 8 && equals_ignoring_case(tail.substr(tail.size() - 8), "</speak>"))
            inner = inner.substr(0, inner.rfind('<'));
    }
    return std::string(inner);
}

std::string attribute(xmlNode* node, const char* name) {
    xmlChar* v = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
    if (v == nullptr) return std::string();
    std::string s(reinterpret_cast<const char*>(v));
    xmlFree(v);
    return s;
}

bool has_attribute(xmlNode* node, const char* name) {
    return xmlHasProp(node, reinterpret_cast<const xmlChar*>(name)) != nullptr;
}

class Reader {
public:
    std::vector<SpeechItem> items;

    void element(xmlNode* node, const Prosody& prosody, bool characters) {
        const std::string_view name(reinterpret_cast<const char*>(node->name));
        if (equals_ignoring_case(name, "mark")) {
            if (has_attribute(node, "name")) add(SpeechItem::Kind::Mark, attribute(node, "name"));
            return;
        }
        if (equals_ignoring_case(name, "break")) {
            SpeechItem pause;
            pause.kind = SpeechItem::Kind::Break;
            pause.break_ms = break_duration(attribute(node, "time"), attribute(node, "strength"));
            items.push_back(pause);
            return;
        }
        if (equals_ignoring_case(name, "sub") && has_attribute(node, "alias")) {
            text(attribute(node, "alias"), prosody, characters);
            return;
        }
        Prosody inner = prosody;
        bool spelled = characters;
        if (equals_ignoring_case(name, "prosody")) {
            inner.rate *= prosody_rate(attribute(node, "rate"));
            inner.pitch *= prosody_pitch(attribute(node, "pitch"));
            inner.volume *= prosody_volume(attribute(node, "volume"));
        } else if (equals_ignoring_case(name, "say-as")) {
            const std::string as = attribute(node, "interpret-as");
            if (equals_ignoring_case(as, "characters") || equals_ignoring_case(as, "spell-out") ||
                equals_ignoring_case(as, "letters") || equals_ignoring_case(as, "tts:char"))
                spelled = true;
        }
        // Paragraphs and sentences never run into the words around them.
        const bool separate = equals_ignoring_case(name, "p") || equals_ignoring_case(name, "s");
        if (separate) text(" ", prosody, characters);
        children(node, inner, spelled);
        if (separate) text(" ", prosody, characters);
    }

    void children(xmlNode* node, const Prosody& prosody, bool characters) {
        for (xmlNode* child = node->children; child != nullptr; child = child->next) {
            if (child->type == XML_ELEMENT_NODE)
                element(child, prosody, characters);
            else if (child->type == XML_TEXT_NODE || child->type == XML_CDATA_SECTION_NODE)
                text(reinterpret_cast<const char*>(child->content), prosody, characters);
        }
    }

    void text(std::string_view s, const Prosody& prosody, bool characters) {
        if (s.empty()) return;
        if (!items.empty()) {
            SpeechItem& last = items.back();
            if (last.kind == SpeechItem::Kind::Text && last.characters == characters &&
                last.prosody.rate == prosody.rate && last.prosody.pitch == prosody.pitch &&
                last.prosody.volume == prosody.volume) {
                last.text += s;
                return;
            }
        }
        SpeechItem run;
        run.text = std::string(s);
        run.prosody = prosody;
        run.characters = characters;
        items.push_back(std::move(run));
    }

private:
    void add(SpeechItem::Kind kind, std::string value) {
        SpeechItem item;
        item.kind = kind;
        item.text = std::move(value);
        items.push_back(std::move(item));
    }
};

std::vector<SpeechItem> plain(std::string text) {
    std::vector<SpeechItem> items;
    if (!trim(text).empty()) {
        items.emplace_back();
        items.back().text = std::move(text);
    }
    return items;
}

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

std::vector<SpeechItem> parse_ssml(std::string_view message) {
    static std::once_flag init;
    std::call_once(init, [] { xmlInitParser(); });

    const std::string safe = xml_safe(message);
    if (safe.size() > static_cast<std::size_t>(INT_MAX)) return plain(without_envelope(safe));
    // No network, no external entities, no messages on standard error.
    xmlDoc* doc = xmlReadMemory(safe.data(), static_cast<int>(safe.size()), nullptr, "UTF-8",
                                XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING |
                                    XML_PARSE_NOCDATA);
    // A document type could declare entities whose expansion grows without
    // bound; screen readers never send one.
    if (doc == nullptr || doc->intSubset != nullptr || xmlDocGetRootElement(doc) == nullptr) {
        if (doc != nullptr) xmlFreeDoc(doc);
        return plain(without_envelope(safe));
    }
    Reader reader;
    reader.element(xmlDocGetRootElement(doc), Prosody{}, false);
    xmlFreeDoc(doc);

    std::vector<SpeechItem> items;
    for (SpeechItem& item : reader.items)
        if (item.kind != SpeechItem::Kind::Text || !trim(item.text).empty())
            items.push_back(std::move(item));
    return items;
}

}  // namespace zelvan_tts::speechd
