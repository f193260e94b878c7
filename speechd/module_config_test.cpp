#include "speechd/module_config.h"

#include <gtest/gtest.h>

namespace zelvan_tts::speechd {
namespace {

TEST(ModuleConfig, ReadsItsTwoSettings) {
    const ModuleConfig c = parse_module_config(
        "# comment\n  ZelvanModelPath \"/opt/zelvan tts/models\"  \r\n"
        "ZelvanDefaultVoice kaz_nurlan\nEspeakPitch 3\n# ZelvanDefaultVoice ru_alsu\n");
    EXPECT_EQ(c.model_path, "/opt/zelvan tts/models");
    EXPECT_EQ(c.default_voice, "kaz_nurlan");
    EXPECT_EQ(read_module_config("/nonexistent/zelvan.conf").model_path, "");
}

}  // namespace
}  // namespace zelvan_tts::speechd
