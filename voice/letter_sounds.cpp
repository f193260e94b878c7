#include "voice/letter_sounds.h"

#include "shared/symbols/symbols.h"
#include "voice/phone_set.h"

#include <stdexcept>

namespace zelvan_tts::voice {

namespace {

LetterSound vowel(const char* stressed_phone, bool softens = false, float length = 1.0f) {
    LetterSound s;
    s.kind = LetterKind::Vowel;
    s.vowel = phone_id(stressed_phone);
    s.softens = softens;
    s.length = length;
    return s;
}

LetterSound iotated(const char* stressed_phone) {
    LetterSound s = vowel(stressed_phone, true);
    s.iotated = true;
    return s;
}

LetterSound consonant(const char* hard, const char* soft, float length = 1.0f) {
    LetterSound s;
    s.kind = LetterKind::Consonant;
    s.hard_phone = phone_id(hard);
    s.soft_phone = phone_id(soft);
    s.length = length;
    return s;
}

LetterSound consonant(const char* phone) { return consonant(phone, phone); }

LetterSound mark(LetterKind kind, PauseKind pause = PauseKind::None) {
    LetterSound s;
    s.kind = kind;
    s.pause = pause;
    return s;
}

LetterSound sound_of(char32_t c) {
    switch (c) {
        case U'!':
            return mark(LetterKind::Pause, PauseKind::Exclamation);
        case U'?':
            return mark(LetterKind::Pause, PauseKind::Question);
        case U'.':
            return mark(LetterKind::Pause, PauseKind::Period);
        case U'\u2026':
            return mark(LetterKind::Pause, PauseKind::Ellipsis);
        case U',':
        case U':':
        case U';':
        case U'\u2014':
            return mark(LetterKind::Pause, PauseKind::Comma);
        case U'-':
            return mark(LetterKind::Hyphen);
        case U'+':
            return mark(LetterKind::StressMark);
        case U' ':
            return mark(LetterKind::Space);
        case U'\'':
        case U'ъ':
            return mark(LetterKind::Separator);
        case U'ь':
            return mark(LetterKind::SoftSign);
        // Russian vowels.
        case U'а':
            return vowel("aa");
        case U'о':
            return vowel("oo");
        case U'у':
            return vowel("uu");
        case U'ы':
            return vowel("yy");
        case U'э':
            return vowel("ee");
        case U'и':
            return vowel("ii", true);
        case U'я':
            return iotated("aa");
        case U'е':
            return iotated("ee");
        case U'ю':
            return iotated("uu");
        case U'ё': {
            LetterSound s = iotated("oo");
            s.stressed = true;
            return s;
        }
        // Vowels of the other languages, by the nearest recorded vowel:
        // front rounded ones as the soft-fronted у and о, ә as a soft-fronted а.
        case U'є':
            return iotated("ee");
        case U'і':
            return vowel("ii", true);
        case U'ї': {
            LetterSound s = iotated("ii");
            s.always_iotated = true;
            return s;
        }
        case U'ү':
        case U'ӱ':
        case U'ӳ':
            return vowel("uu", true);
        case U'ұ':
            return vowel("uu");
        case U'ө':
        case U'ӧ':
            return vowel("oo", true);
        case U'ә':
            return vowel("aa", true);
        case U'ӑ':
            return vowel("aa", false, 0.6f);
        case U'ӗ':
            return vowel("ee", true, 0.6f);
        case U'ӣ':
            return vowel("ii", true, 1.4f);
        case U'ӥ':
            return vowel("ii");
        case U'ӯ':
            return vowel("uu", false, 1.4f);
        case U'ў': {
            LetterSound s = vowel("uu", false, 0.6f);
            s.kind = LetterKind::Glide;
            return s;
        }
        // Russian consonants.
        case U'б':
            return consonant("b", "bb");
        case U'в':
            return consonant("v", "vv");
        case U'г':
            return consonant("g", "gg");
        case U'д':
            return consonant("d", "dd");
        case U'ж':
            return consonant("zh");
        case U'з':
            return consonant("z", "zz");
        case U'й':
            return consonant("j");
        case U'к':
            return consonant("k", "kk");
        case U'л':
            return consonant("l", "ll");
        case U'м':
            return consonant("m", "mm");
        case U'н':
            return consonant("n", "nn");
        case U'п':
            return consonant("p", "pp");
        case U'р':
            return consonant("r", "rr");
        case U'с':
            return consonant("s", "ss");
        case U'т':
            return consonant("t", "tt");
        case U'ф':
            return consonant("f", "ff");
        case U'х':
            return consonant("h", "hh");
        case U'ц':
            return consonant("c");
        case U'ч':
            return consonant("ch");
        case U'ш':
            return consonant("sh");
        case U'щ':
            return consonant("sch");
        // Consonants of the other languages.
        case U'h':
        case U'һ':
        case U'ҳ':
            return consonant("h", "hh");
        case U'ӏ':
            return consonant("h", "h", 0.6f);  // a glottal catch: the nearest is a breath
        case U'ј':
            return consonant("j");
        case U'ґ':
        case U'ғ':
        case U'ҕ':
            return consonant("g", "gg");
        case U'ҝ':
            return consonant("gg");
        case U'җ':
        case U'ӝ':
            return consonant("zh");
        case U'ҙ':
            return consonant("z", "zz");
        case U'ӟ':
            return consonant("zz");
        case U'қ':
        case U'ҡ':
            return consonant("k", "kk");
        case U'ң':
        case U'ҥ':
            return consonant("n", "nn");
        case U'ҫ':
            return consonant("s", "ss");
        case U'ҷ':
        case U'ҹ':
        case U'ӵ':
            return consonant("ch");
        default:
            return mark(LetterKind::None);  // the framing ids
    }
}

}  // namespace

const std::array<LetterSound, 85>& letter_sounds() {
    static const std::array<LetterSound, 85> table = [] {
        if (symbols.size() != 85) throw std::logic_error("The alphabet changed size");
        std::array<LetterSound, 85> t{};
        for (std::size_t id = 0; id < t.size(); ++id) t[id] = sound_of(symbols[id]);
        return t;
    }();
    return table;
}

std::string symbol_text(int symbol_id) {
    const char32_t c = symbols.at(static_cast<std::size_t>(symbol_id));
    std::string s;
    if (c < 0x80) {
        s += static_cast<char>(c);
    } else if (c < 0x800) {
        s += static_cast<char>(0xC0 | (c >> 6));
        s += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        s += static_cast<char>(0xE0 | (c >> 12));
        s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (c & 0x3F));
    }
    return s;
}

}  // namespace zelvan_tts::voice
