#include "speechd/module_protocol.h"

#include <gtest/gtest.h>

#include <cmath>
#include <unistd.h>

namespace zelvan_tts::speechd {
namespace {

TEST(ModuleProtocol, LinesBodiesAndSettings) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const std::string input = "SPEAK\r\n<speak>a\n..\n.x\n</speak>\n.\nSET\nrate=20\nvoice\n.\nEND";
    ASSERT_EQ(write(fds[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
    close(fds[1]);
    LineReader in(fds[0]);
    std::string line;
    std::vector<std::string> body;
    ASSERT_TRUE(in.read_line(line));
    EXPECT_EQ(line, "SPEAK");
    EXPECT_TRUE(has_body(line));
    ASSERT_TRUE(in.read_body(body));
    EXPECT_EQ(join_lines(body), "<speak>a\n.\n.x\n</speak>");
    ASSERT_TRUE(in.read_line(line));
    ASSERT_TRUE(in.read_body(body));
    const auto settings = parse_settings(body);
    ASSERT_EQ(settings.size(), 2u);
    EXPECT_EQ(settings[0], std::make_pair(std::string("rate"), std::string("20")));
    EXPECT_EQ(settings[1], std::make_pair(std::string("voice"), std::string()));
    ASSERT_TRUE(in.read_line(line));
    EXPECT_EQ(line, "END");
    EXPECT_FALSE(in.read_line(line));
    EXPECT_FALSE(in.read_body(body));
    close(fds[0]);
}

TEST(ModuleProtocol, AudioEventsCarryNoLineFeed) {
    const float samples[] = {0.0f, 1.0f, -1.0f, 2.0f, 10.0f / 32767, 125.0f / 32767, NAN};
    const std::vector<std::int16_t> pcm = to_pcm16(samples, 7);
    EXPECT_EQ(pcm, (std::vector<std::int16_t>{0, 32767, -32767, 32767, 10, 125, 0}));
    // 10 is LF and 125 the escape byte itself: both must be escaped.
    const std::string event = audio_event(pcm.data(), pcm.size(), 48000);
    const std::string head =
        "705-bits=16\n705-num_channels=1\n705-sample_rate=48000\n705-num_samples=7\n"
        "705-big_endian=0\n705-AUDIO";
    ASSERT_EQ(event.compare(0, head.size(), head), 0);
    const std::string tail = "\n705 AUDIO\n";
    ASSERT_EQ(event.substr(event.size() - tail.size()), tail);
    const std::string data =
        event.substr(head.size() + 1, event.size() - head.size() - 1 - tail.size());
    EXPECT_EQ(data.find('\n'), std::string::npos);
    const std::string raw = hdlc_unescape(data);
    ASSERT_EQ(raw.size(), 14u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(pcm.data()), 14), raw);
    EXPECT_EQ(index_mark_event("a\nb"), "700-a b\n700 INDEX MARK\n");
}

}  // namespace
}  // namespace zelvan_tts::speechd
