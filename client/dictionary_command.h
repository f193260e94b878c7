// zelvan_tts dict: the user dictionary (dictionary.txt beside the settings)
// from the command line. A change rewrites the file whole, keeping every
// other line as it was, and sets the change signal, so that running engines
// read it at their next synthesis.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace zelvan_tts {

// The lines of the zelvan_tts usage that describe dict.
inline constexpr const char* kDictionaryUsage =
    "  dict add WORD REPLACEMENT [--lang L]\n"
    "                                     read WORD as REPLACEMENT (\"+\" before the stressed\n"
    "                                     vowel) with the voices of language L (default ru)\n"
    "  dict remove WORD [--lang L]        forget WORD (in every language without --lang)\n"
    "  dict list                          the entries of the dictionary\n"
    "  dict check                         the lines of the dictionary that cannot be read\n";

// Runs `zelvan_tts dict` with the arguments after "dict": add, remove, list
// or check. Results go to `out`, messages to `err`. Returns the exit code:
// 0 done, 1 failed (no such entry, the file could not be read or written,
// check found lines it cannot read), 2 wrong usage.
int run_dictionary_command(const std::vector<std::string>& args, std::ostream& out,
                           std::ostream& err);

}  // namespace zelvan_tts
