// The phones of the recorded voice: the phone set its recordings are
// labelled with (festvox-ru's msu_ru), which tells stressed vowels from the
// two degrees of reduced ones and hard consonants from soft ones. The order
// is fixed: a phone's position is its id in the inventory and in the voice's
// TorchScript source.
#pragma once

#include <array>
#include <string_view>

namespace zelvan_tts::voice {

enum class PhoneKind { Pause, Vowel, Sonorant, Obstruent };

// Articulatory description of a phone: enough to say which recorded phone
// stands in best for one the recordings lack, and to let the voice's rules
// voice, devoice and soften consonants.
struct Phone {
    std::string_view name;
    PhoneKind kind;
    // Vowels: height 1 (open) .. 5 (close), frontness 1 (front) .. 5 (back),
    // rounding, and reduction: 0 stressed, 1 first degree, 2 second degree.
    int height;
    int front;
    bool round;
    int reduction;
    // Consonants: manner (1 stop, 2 fricative, 3 affricate, 4 nasal,
    // 5 liquid, 6 glide), place (1 labial, 2 labiodental, 3 dental,
    // 4 alveolar, 5 palatal, 6 velar), voicing and softness.
    int manner;
    int place;
    bool voiced;
    bool soft;
};

inline constexpr int kPhoneCount = 51;
inline constexpr int kPause = 0;

extern const std::array<Phone, kPhoneCount> phones;

// The id of a phone name, or -1.
int phone_id(std::string_view name);

// The same consonant with the opposite voicing, or the phone itself when it
// has no such twin (sonorants, vowels, ц, ч, щ, х against nothing).
int voicing_twin(int phone);

// The same consonant with the opposite softness, or the phone itself.
int softness_twin(int phone);

// How unlike two phones sound, 0 for the same phone; a vowel against a
// consonant or a pause is far (10 and more).
float phone_distance(int a, int b);

}  // namespace zelvan_tts::voice
