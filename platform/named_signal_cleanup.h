// For tests. Every test executable runs under a namespace of its own, and
// some tests set one each; whatever makes the settings' change signal there
// (a synthesis, the dialog, a server) leaves a named semaphore that outlives
// its processes. Tests remove what they made. The signal without a namespace
// belongs to the user's engines and is never removed.
#pragma once

#include "platform/named_signal.h"
#include "platform/object_names.h"

#include <gtest/gtest.h>

#include <string>

namespace zelvan_tts::test_support {

// The change signal of the namespace set now; empty when none is set.
inline std::string removable_change_signal() {
    return namespaced_name("").empty() ? std::string() : object_name(NamedObject::ConfigChanged);
}

// Removes the change signal of the namespace set now, if one is set.
inline void remove_change_signal() {
    const std::string name = removable_change_signal();
    if (!name.empty()) NamedSignal::remove(name);
}

// After the last test, removes the change signal of the namespace the
// executable started with (tests may set other namespaces meanwhile).
class ChangeSignalRemoval : public ::testing::Environment {
public:
    void SetUp() override { name_ = removable_change_signal(); }
    void TearDown() override {
        if (!name_.empty()) NamedSignal::remove(name_);
    }

private:
    std::string name_;
};

// Registered once per executable whose test files include this header.
inline ::testing::Environment* const change_signal_removal =
    ::testing::AddGlobalTestEnvironment(new ChangeSignalRemoval);

}  // namespace zelvan_tts::test_support
