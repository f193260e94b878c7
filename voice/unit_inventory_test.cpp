// The inventory built from a small synthetic corpus: twelve "recordings"
// of м-а-м-а (pulse trains at a pitch of their own) with their labels.
#include "voice/unit_inventory.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <unistd.h>
#include <algorithm>
#include <stdexcept>

namespace zelvan_tts::voice {
namespace {

namespace fs = std::filesystem;

void put16(std::ofstream& out, int v) { out.put(static_cast<char>(v & 255)).put(static_cast<char>((v >> 8) & 255)); }
void put32(std::ofstream& out, std::uint32_t v) {
    put16(out, static_cast<int>(v & 0xffff));
    put16(out, static_cast<int>(v >> 16));
}

// ru_0001..ru_0012, pau m aa m a pau; recording k at 100 + 5k Hz.
fs::path synthetic_corpus() {
    const fs::path dir = fs::temp_directory_path() / ("zelvan_inventory_test_" + std::to_string(::getpid()));
    fs::create_directories(dir / "etc");
    fs::create_directories(dir / "lab");
    fs::create_directories(dir / "wav");
    std::ofstream prompts(dir / "etc" / "txt.done.data");
    const struct {
        const char* name;
        double seconds;
        double level;
    } phones[] = {{"pau", 0.15, 0}, {"m", 0.07, 0.1}, {"aa", 0.14, 0.4}, {"m", 0.06, 0.1}, {"a", 0.1, 0.3}, {"pau", 0.15, 0}};
    for (int k = 1; k <= 12; ++k) {
        char name[16];
        std::snprintf(name, sizeof name, "ru_%04d", k);
        prompts << "( " << name << " \"мама\" )\n";
        std::ofstream lab(dir / "lab" / (std::string(name) + ".lab"));
        lab << "#\n";
        std::vector<double> level;
        double end = 0;
        for (const auto& p : phones) {
            end += p.seconds;
            lab << end << " 125 " << p.name << "\n";
            level.resize(static_cast<std::size_t>(std::lround(end * 16000)), p.level);
        }
        std::vector<double> x(level.size() + 400, 0.0);
        for (double at = 0; at < static_cast<double>(level.size()); at += 16000.0 / (100 + 5 * k)) {
            const auto p = static_cast<std::size_t>(at);
            for (int n = 0; n < 400; ++n)
                x[p + static_cast<std::size_t>(n)] += level[p] * std::exp(-n / 40.0) * std::sin(2 * 3.14159265 * 600 * n / 16000.0);
        }
        std::ofstream wav(dir / "wav" / (std::string(name) + ".wav"), std::ios::binary);
        const auto samples = static_cast<std::uint32_t>(level.size());
        wav << "RIFF";
        put32(wav, 36 + 2 * samples);
        wav << "WAVEfmt ";
        put32(wav, 16);
        put16(wav, 1);
        put16(wav, 1);
        put32(wav, 16000);
        put32(wav, 32000);
        put16(wav, 2);
        put16(wav, 16);
        wav << "data";
        put32(wav, 2 * samples);
        for (std::size_t i = 0; i < samples; ++i) put16(wav, static_cast<int>(std::lround(x[i] * 20000)));
    }
    return dir;
}

TEST(UnitInventory, KeepsTheTrainingInstancesOfEveryPairUpToItsBound) {
    const fs::path dir = synthetic_corpus();
    // (m, aa) is recorded once in each of the 11 training recordings.
    const struct {
        int bound;
        int kept;
    } cases[] = {{40, 11}, {4, 4}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bound);
        InventoryOptions options;
        options.candidates_per_pair = c.bound;
        const VoiceInventory inv = build_inventory(dir.string(), options);
        const int m = phone_id("m"), aa = phone_id("aa");
        int valid = 0;
        for (int k = 0; k < inv.candidates_per_pair; ++k) {
            const int u = inv.candidates[static_cast<std::size_t>((m * kPhoneCount + aa) * inv.candidates_per_pair + k)];
            if (u < 0) continue;
            ++valid;
            EXPECT_EQ(inv.units[static_cast<std::size_t>(u)].left_phone, m);
            EXPECT_EQ(inv.units[static_cast<std::size_t>(u)].right_phone, aa);
        }
        EXPECT_EQ(valid, c.kept);

        // Every unit's samples are its recording's, levelled, however the
        // stretches are shared; its marks lie in its own samples; a unit's
        // successor was recorded right after it.
        for (std::size_t i = 1; i < inv.mark_position.size(); ++i)
            ASSERT_GT(inv.mark_position[i], inv.mark_position[i - 1]);
        for (const RecordedUnit& u : inv.units) {
            ASSERT_NE(u.utterance, 10) << "a held-out recording in the inventory";
            char name[16];
            std::snprintf(name, sizeof name, "ru_%04d", u.utterance);
            const std::vector<std::int16_t> rec = read_recording(dir.string(), name);
            for (int k = 0; k < u.length; ++k) {
                const float expected = std::clamp(std::round(rec[static_cast<std::size_t>(u.source_start + k)] * u.gain), -32768.0f, 32767.0f);
                ASSERT_EQ(inv.samples[static_cast<std::size_t>(u.stored_start + k)], expected) << name << " sample " << k;
            }
            ASSERT_LT(u.mark_begin, u.mark_end);
            EXPECT_GE(inv.mark_position[static_cast<std::size_t>(u.mark_begin)], u.stored_start);
            EXPECT_LT(inv.mark_position[static_cast<std::size_t>(u.mark_end - 1)], u.stored_start + u.length);
            EXPECT_TRUE(u.core_start < u.boundary && u.boundary < u.core_end && u.core_end < u.length);
            if (u.next >= 0) {
                const RecordedUnit& v = inv.units[static_cast<std::size_t>(u.next)];
                EXPECT_EQ(v.utterance, u.utterance);
                EXPECT_EQ(v.left_phone, u.right_phone);
                EXPECT_EQ(v.source_start + v.core_start, u.source_start + u.core_end);
            }
        }
    }
    fs::remove_all(dir);
}

TEST(UnitInventory, FileKeepsTheInventoryAndRefusesACutOne) {
    const fs::path dir = synthetic_corpus();
    const VoiceInventory inv = build_inventory(dir.string(), {});
    const std::string path = (dir / "voice.inv").string();
    write_inventory(inv, path);
    const VoiceInventory back = read_inventory(path);
    EXPECT_EQ(back.units.size(), inv.units.size());
    EXPECT_EQ(back.samples, inv.samples);
    EXPECT_EQ(back.mark_position, inv.mark_position);
    EXPECT_EQ(back.candidates, inv.candidates);
    EXPECT_EQ(back.sentences.size(), 11u);
    fs::resize_file(path, fs::file_size(path) / 2);
    EXPECT_THROW(read_inventory(path), std::runtime_error);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace zelvan_tts::voice
