// The features of the demo stress model: for each vowel of a clean word
// (Cyrillic letters, lower case, two bytes each), the letters around it,
// the word's ending and beginning, and its place among the vowels. The
// TorchScript model (demo/stress_model.torchscript) computes the same
// strings; the trainer uses this copy.
#pragma once

#include <string>
#include <vector>

namespace zelvan_tts::demo {

// The letter indices of the vowels of `clean` (а о у ы э и е я ё ю).
std::vector<int> vowel_letters(const std::string& clean);

// One list of feature strings per vowel of `clean`, in vowel order.
std::vector<std::vector<std::string>> stress_features(const std::string& clean);

}  // namespace zelvan_tts::demo
