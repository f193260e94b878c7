// The one-pending-signal rule of NamedSignal, checked by the platform tests
// of every platform on two handles of one name.
#pragma once

#include "platform/named_signal.h"

#include <gtest/gtest.h>

namespace zelvan_tts::platform_test {

// Nothing pending at first; two sets leave one signal, which the first test
// through either handle consumes.
inline void expect_one_pending_signal(NamedSignal& a, NamedSignal& b) {
    EXPECT_FALSE(a.test_and_consume());
    a.set();
    a.set();
    EXPECT_TRUE(b.test_and_consume());
    EXPECT_FALSE(a.test_and_consume()) << "two sets leave one signal";
    EXPECT_FALSE(b.test_and_consume());
}

}  // namespace zelvan_tts::platform_test
