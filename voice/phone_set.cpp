#include "voice/phone_set.h"

#include <algorithm>
#include <cstdlib>

namespace zelvan_tts::voice {

namespace {

constexpr Phone pause(std::string_view name) {
    return {name, PhoneKind::Pause, 0, 0, false, 0, 0, 0, false, false};
}
constexpr Phone vowel(std::string_view name, int height, int front, bool round, int reduction) {
    return {name, PhoneKind::Vowel, height, front, round, reduction, 0, 0, true, false};
}
constexpr Phone obstruent(std::string_view name, int manner, int place, bool voiced, bool soft) {
    return {name, PhoneKind::Obstruent, 0, 0, false, 0, manner, place, voiced, soft};
}
constexpr Phone sonorant(std::string_view name, int manner, int place, bool soft) {
    return {name, PhoneKind::Sonorant, 0, 0, false, 0, manner, place, true, soft};
}

}  // namespace

const std::array<Phone, kPhoneCount> phones = {{
    pause("pau"),
    // Stressed vowels.
    vowel("aa", 1, 3, false, 0),
    vowel("oo", 3, 5, true, 0),
    vowel("uu", 5, 5, true, 0),
    vowel("ee", 3, 1, false, 0),
    vowel("ii", 5, 1, false, 0),
    vowel("yy", 5, 3, false, 0),
    // First degree of reduction: next to the stress or to a pause.
    vowel("a", 2, 4, false, 1),
    vowel("e", 3, 2, false, 1),
    vowel("i", 4, 2, false, 1),
    vowel("y", 4, 3, false, 1),
    vowel("u", 5, 5, true, 1),
    // Second degree: ae after a soft consonant, ay after a hard one, ur for у.
    vowel("ae", 3, 3, false, 2),
    vowel("ay", 3, 3, false, 2),
    vowel("ur", 4, 4, true, 2),
    // Consonants, hard then soft.
    obstruent("p", 1, 1, false, false),
    obstruent("pp", 1, 1, false, true),
    obstruent("b", 1, 1, true, false),
    obstruent("bb", 1, 1, true, true),
    obstruent("t", 1, 3, false, false),
    obstruent("tt", 1, 3, false, true),
    obstruent("d", 1, 3, true, false),
    obstruent("dd", 1, 3, true, true),
    obstruent("k", 1, 6, false, false),
    obstruent("kk", 1, 6, false, true),
    obstruent("g", 1, 6, true, false),
    obstruent("gg", 1, 6, true, true),
    obstruent("c", 3, 3, false, false),
    obstruent("ch", 3, 4, false, true),
    obstruent("f", 2, 2, false, false),
    obstruent("ff", 2, 2, false, true),
    obstruent("v", 2, 2, true, false),
    obstruent("vv", 2, 2, true, true),
    obstruent("s", 2, 3, false, false),
    obstruent("ss", 2, 3, false, true),
    obstruent("z", 2, 3, true, false),
    obstruent("zz", 2, 3, true, true),
    obstruent("sh", 2, 4, false, false),
    obstruent("sch", 2, 5, false, true),
    obstruent("zh", 2, 4, true, false),
    obstruent("h", 2, 6, false, false),
    obstruent("hh", 2, 6, false, true),
    sonorant("m", 4, 1, false),
    sonorant("mm", 4, 1, true),
    sonorant("n", 4, 3, false),
    sonorant("nn", 4, 3, true),
    sonorant("l", 5, 3, false),
    sonorant("ll", 5, 3, true),
    sonorant("r", 5, 4, false),
    sonorant("rr", 5, 4, true),
    sonorant("j", 6, 5, true),
}};

int phone_id(std::string_view name) {
    for (int i = 0; i < kPhoneCount; ++i)
        if (phones[static_cast<std::size_t>(i)].name == name) return i;
    return -1;
}

namespace {

// The consonant that differs from `phone` in exactly the given property.
int twin(int phone, bool flip_voice) {
    const Phone& p = phones.at(static_cast<std::size_t>(phone));
    if (p.kind == PhoneKind::Pause || p.kind == PhoneKind::Vowel) return phone;
    for (int i = 0; i < kPhoneCount; ++i) {
        const Phone& q = phones[static_cast<std::size_t>(i)];
        if (i == phone || q.kind != p.kind || q.manner != p.manner || q.place != p.place) continue;
        if (flip_voice && q.voiced != p.voiced && q.soft == p.soft) return i;
        if (!flip_voice && q.soft != p.soft && q.voiced == p.voiced) return i;
    }
    return phone;
}

}  // namespace

int voicing_twin(int phone) {
    return phones.at(static_cast<std::size_t>(phone)).kind == PhoneKind::Obstruent
               ? twin(phone, true)
               : phone;
}

int softness_twin(int phone) { return twin(phone, false); }

float phone_distance(int a, int b) {
    if (a == b) return 0.0f;
    const Phone& p = phones.at(static_cast<std::size_t>(a));
    const Phone& q = phones.at(static_cast<std::size_t>(b));
    if (p.kind == PhoneKind::Pause || q.kind == PhoneKind::Pause) return 12.0f;
    const bool pv = p.kind == PhoneKind::Vowel, qv = q.kind == PhoneKind::Vowel;
    if (pv != qv) return 10.0f;
    if (pv) {
        return 0.6f * static_cast<float>(std::abs(p.height - q.height)) +
               0.5f * static_cast<float>(std::abs(p.front - q.front)) +
               (p.round != q.round ? 1.0f : 0.0f) +
               0.4f * static_cast<float>(std::abs(p.reduction - q.reduction)) + 0.2f;
    }
    float d = 0.2f;
    if (p.manner != q.manner) d += 3.0f;
    if (p.place != q.place) d += 1.0f + 0.3f * static_cast<float>(std::abs(p.place - q.place));
    if (p.voiced != q.voiced) d += 1.5f;
    if (p.soft != q.soft) d += 1.0f;
    return d;
}

}  // namespace zelvan_tts::voice
