// Stands in for a running engine in the Windows window test. A Windows event
// lives only while some process holds it, so the probe keeps the settings'
// change signal open for the whole test and, for every line read from
// standard input, prints whether the signal was set since the last line
// (consuming it, as an engine's next synthesis would).

#include "platform/named_signal.h"
#include "platform/object_names.h"

#include <iostream>
#include <string>

int main() {
    using namespace zelvan_tts;
    const auto signal = NamedSignal::create_or_open(object_name(NamedObject::ConfigChanged));
    if (!signal) {
        std::cout << "unavailable" << std::endl;
        return 1;
    }
    std::cout << "ready" << std::endl;
    std::string line;
    while (std::getline(std::cin, line)) {
        std::cout << (signal->test_and_consume() ? "signalled" : "not signalled") << std::endl;
    }
    return 0;
}
