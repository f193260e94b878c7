#include "protocol/protocol.h"

#include <gtest/gtest.h>

#include <cstring>

namespace zelvan_tts {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(Protocol, RecordsHaveTheirByteLayout) {
    ReqSynth r;
    r.speaker_id = -1;
    r.speed = 1.5f;
    r.pitch = 0.5f;
    r.volume = 2.0f;
    const Bytes req = encode_req_synth(r, std::string("hi\0!", 4));
    ASSERT_EQ(req.size(), 28u + 4);
    EXPECT_EQ(Bytes(req.begin(), req.begin() + 4), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(Bytes(req.begin() + 4, req.begin() + 8), (Bytes{0x00, 0x00, 0xC0, 0x3F}));  // 1.5f
    EXPECT_EQ(get_u32(req.data() + 16), 4u);
    EXPECT_EQ(Bytes(req.begin() + 20, req.begin() + 28), Bytes(8, 0)) << "no flags, reserved";
    EXPECT_EQ(std::memcmp(req.data() + 28, "hi\0!", 4), 0);

    const auto back = decode_req_synth(req.data(), req.size());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->speaker_id, -1);
    EXPECT_EQ(back->speed, 1.5f);
    EXPECT_EQ(back->pitch, 0.5f);
    EXPECT_EQ(back->volume, 2.0f);
    EXPECT_FALSE(decode_req_synth(req.data(), 27));

    EXPECT_EQ(encode_info({60, 48000}), (Bytes{60, 0, 0, 0, 0x80, 0xBB, 0, 0}));
    EXPECT_EQ(encode_audio_chunk({1, -1, 32767}),
              (Bytes{3, 0, 0, 0, 1, 0, 0xFF, 0xFF, 0xFF, 0x7F}));
    EXPECT_EQ(encode_audio_chunk({}), (Bytes{0, 0, 0, 0}));

    const Bytes error = encode_error(ErrorCode::SynthesisFailed, "bad");
    EXPECT_EQ(error, (Bytes{3, 0, 0, 0, 3, 0, 0, 0, 'b', 'a', 'd'}));
    const auto decoded = decode_error(error.data(), error.size());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->code, 3u);
    EXPECT_EQ(decoded->message, "bad");
    EXPECT_FALSE(decode_error(error.data(), 10)) << "message cut short";
    EXPECT_FALSE(decode_error(error.data(), 7));
}

TEST(Protocol, TimestampsAreEightBytesEachWithoutACount) {
    const std::vector<WordTimestamp> words{{0.0f, 0.5f}, {0.5f, 1.25f}, {2.0f, 3.0f}};
    const Bytes payload = encode_timestamps(words);
    ASSERT_EQ(payload.size(), 24u);
    const auto back = decode_timestamps(payload.data(), payload.size());
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[1].end, 1.25f);
    EXPECT_TRUE(encode_timestamps({}).empty());
    EXPECT_EQ(decode_timestamps(payload.data(), 23).size(), 2u);
}

TEST(Protocol, WordSpansAskedForByAFlag) {
    ReqSynth r;
    r.flags = kWantWordSpans;
    const Bytes req = encode_req_synth(r, "");
    EXPECT_EQ(Bytes(req.begin() + 20, req.begin() + 28), (Bytes{1, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(decode_req_synth(req.data(), req.size())->flags, 1u);

    const Bytes payload = encode_word_spans({{"п+ять.", 14, 2}, {"", 0, 0}});
    ASSERT_EQ(payload.size(), 4u + 12 + 10 + 12);
    EXPECT_EQ(Bytes(payload.begin(), payload.begin() + 16),
              (Bytes{2, 0, 0, 0, 14, 0, 0, 0, 2, 0, 0, 0, 10, 0, 0, 0}));
    const auto back = decode_word_spans(payload.data(), payload.size());
    ASSERT_TRUE(back);
    ASSERT_EQ(back->size(), 2u);
    EXPECT_EQ((*back)[0].word, "п+ять.");
    EXPECT_EQ((*back)[0].offset, 14u);
    EXPECT_EQ((*back)[1].word, "");

    // Cut short anywhere, or a count no payload can hold: unreadable.
    for (std::size_t cut : {0u, 3u, 15u, 20u, 27u, 37u})
        EXPECT_FALSE(decode_word_spans(payload.data(), cut)) << cut;
    const Bytes liar{0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
    EXPECT_FALSE(decode_word_spans(liar.data(), liar.size()));
}

}  // namespace
}  // namespace zelvan_tts
