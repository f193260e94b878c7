// Number words: turns one signed decimal integer, given as text, into the
// words a voice reads aloud. Russian serves every voice language except
// Georgian; Georgian has its own converter.
#pragma once

#include <string>
#include <string_view>

namespace zelvan_tts {

// A number reader. convert never fails outward: text it does not accept
// (anything but an optional leading "-" and ASCII digits) and numbers out of
// its range come back as the identical text.
class Num2Words {
public:
    virtual ~Num2Words() = default;
    virtual std::string convert(std::string_view number) const = 0;
};

// Russian cardinal numbers up to 66 significant digits (the vigintillions).
class Num2WordsRu final : public Num2Words {
public:
    std::string convert(std::string_view number) const override;

    // The process-wide reader, created on first use.
    static const Num2WordsRu& instance();
};

// Georgian cardinal numbers over the signed 64-bit range; below a hundred
// Georgian counts in twenties.
class Num2WordsKa final : public Num2Words {
public:
    std::string convert(std::string_view number) const override;

    // The process-wide reader, created on first use.
    static const Num2WordsKa& instance();
};

}  // namespace zelvan_tts
