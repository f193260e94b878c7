// The voice engine inside a hostile host: fragment lists no real platform
// would send, aborts at any moment, many engines speaking on many threads,
// and the library unloaded while its preload threads still run. The engine
// must answer every call with a result code, keep its events inside the
// audio it wrote, and speak normally afterwards.
#include "engine/model_constants.h"
#include "sapi/plugin_fixture.h"
#include "speech_platform/platform_session.h"
#include "tools/test_models.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <random>
#include <thread>

namespace zelvan_tts::sapi_test {
namespace {

namespace sp = speech_platform;
namespace fs = std::filesystem;

// A fragment list built by hand, fields and all, owning its texts.
class raw_fragments {
public:
    SPVTEXTFRAG& add(int action, const com::wstring& text) {
        texts_.push_back(std::make_unique<com::wstring>(text));
        auto fragment = std::make_unique<SPVTEXTFRAG>();
        std::memset(fragment.get(), 0, sizeof(SPVTEXTFRAG));
        fragment->State.eAction = static_cast<SPVACTIONS>(action);
        fragment->pTextStart = texts_.back()->c_str();
        fragment->ulTextLen = static_cast<ULONG>(texts_.back()->size());
        if (!fragments_.empty()) fragments_.back()->pNext = fragment.get();
        fragments_.push_back(std::move(fragment));
        return *fragments_.back();
    }
    const SPVTEXTFRAG* head() const { return fragments_.empty() ? nullptr : fragments_[0].get(); }

private:
    std::vector<std::unique_ptr<com::wstring>> texts_;
    std::vector<std::unique_ptr<SPVTEXTFRAG>> fragments_;
};

std::size_t count_of(const std::vector<sp::recorded_event>& events, SPEVENTENUM id) {
    std::size_t n = 0;
    for (const auto& e : events) n += e.id == id;
    return n;
}

// What every Speak must leave behind, whatever it was given: whole samples,
// and events in order, never past `limit` bytes of audio. (A piece's word
// events go out before its audio, so after an abort they may point past the
// audio written, but never past the piece.)
void expect_consistent(const sp::engine_site& site, std::size_t limit) {
    EXPECT_EQ(site.audio().size() % 2, 0u);
    ULONGLONG previous = 0;
    for (const auto& e : site.events()) {
        EXPECT_LE(e.offset, limit) << "event " << e.id;
        EXPECT_GE(e.offset, previous) << "event " << e.id;
        previous = e.offset;
    }
}

TEST(PluginHost, BadFragmentLists) {
    auto engine = make_engine(20);
    {
        sp::engine_site site;
        EXPECT_EQ(sp::speak(engine.get(), nullptr, site, nullptr), E_INVALIDARG);
        EXPECT_TRUE(site.audio().empty());
    }

    struct Case {
        const char* name;
        std::function<void(raw_fragments&)> build;
        std::size_t bookmarks;  // bookmark events the list must give
        bool audible;           // whether any audio must come out
    };
    const com::wstring lone_surrogates = {u'а', 0xD800, u' ', 0xDC00, u'б', u'.', 0xDBFF};
    const Case cases[] = {
        {"a text pointer that is null, with a length",
         [](raw_fragments& f) {
             SPVTEXTFRAG& frag = f.add(SPVA_Speak, com::wstring());
             frag.pTextStart = nullptr;
             frag.ulTextLen = 1000;
         },
         0, false},
        {"a bookmark without a name (sends no event)",
         [](raw_fragments& f) {
             SPVTEXTFRAG& frag = f.add(SPVA_Bookmark, com::wstring());
             frag.pTextStart = nullptr;
             frag.ulTextLen = 7;
         },
         0, false},
        {"only bookmarks",
         [](raw_fragments& f) {
             for (int i = 0; i < 50; ++i) f.add(SPVA_Bookmark, com::to_wide(std::to_string(i)));
         },
         50, false},
        {"actions the engine does not know",
         [](raw_fragments& f) {
             f.add(SPVA_Silence, com::to_wide("тишина"));
             f.add(SPVA_Pronounce, com::to_wide("произношение"));
             f.add(SPVA_Section, com::to_wide("раздел"));
             f.add(SPVA_ParseUnknownTag, com::to_wide("<x/>"));
             f.add(7, com::to_wide("семь"));
             f.add(SPVA_Speak, com::to_wide("да."));
         },
         0, true},
        {"offsets and pitches at their limits",
         [](raw_fragments& f) {
             SPVTEXTFRAG& a = f.add(SPVA_Speak, com::to_wide("Первое. Второе."));
             a.ulTextSrcOffset = 0xFFFFFFF0u;
             a.State.PitchAdj.MiddleAdj = std::numeric_limits<LONG>::min();
             SPVTEXTFRAG& b = f.add(SPVA_SpellOut, com::to_wide("абв"));
             b.ulTextSrcOffset = 0x7FFFFFFF;
             b.State.PitchAdj.MiddleAdj = std::numeric_limits<LONG>::max();
         },
         0, true},
        {"unpaired surrogates", [&](raw_fragments& f) { f.add(SPVA_Speak, lone_surrogates); }, 0,
         true},
        {"embedded NULs and white space only",
         [](raw_fragments& f) {
             f.add(SPVA_Speak, com::wstring({u'д', 0, u'а', u'.', 0, u'!'}));
             f.add(SPVA_Speak, com::to_wide(" \t\n  "));
             f.add(SPVA_Speak, com::wstring());
         },
         0, true},
        {"a long text without a sentence end",
         [](raw_fragments& f) {
             com::wstring text;
             for (int i = 0; i < 120; ++i) text += com::to_wide("слово ");
             f.add(SPVA_Speak, text);
         },
         0, true},
        {"thousands of small fragments",
         [](raw_fragments& f) {
             for (int i = 0; i < 300; ++i) {
                 f.add(i % 2 ? SPVA_Bookmark : SPVA_Speak, com::to_wide(i % 2 ? "-1" : "а."));
             }
         },
         150, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        raw_fragments fragments;
        c.build(fragments);
        sp::engine_site site;
        EXPECT_EQ(sp::speak(engine.get(), fragments.head(), site, nullptr), S_OK);
        expect_consistent(site, site.audio().size());
        EXPECT_EQ(count_of(site.events(), SPEI_TTS_BOOKMARK), c.bookmarks);
        EXPECT_EQ(!site.audio().empty(), c.audible);
    }

    // The engine speaks as before.
    sp::engine_site after;
    ASSERT_EQ(speak_text(engine.get(), "Снова нормально.", after), S_OK);
    EXPECT_EQ(voice_of(after.audio()), 20);
}

TEST(PluginHost, AbortStorm) {
    auto engine = make_engine(7);
    std::string text;
    for (int i = 0; i < 12; ++i) text += "Предложение номер " + std::to_string(i) + " здесь. ";
    sp::engine_site whole;
    ASSERT_EQ(speak_text(engine.get(), text, whole), S_OK);
    const std::size_t full = whole.audio().size();

    std::mt19937 random(12345);
    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE(round);
        sp::engine_site site;
        std::thread aborter;
        switch (round % 3) {
            case 0:  // asked to stop before it starts
                site.request_abort();
                break;
            case 1: {  // after some writes
                const std::size_t after = random() % (full + 1);
                site.on_write = [&site, after](std::size_t total) {
                    if (total >= after) site.request_abort();
                };
                break;
            }
            default:  // from another thread, at any moment
                aborter = std::thread([&site, delay = random() % 3000] {
                    std::this_thread::sleep_for(std::chrono::microseconds(delay));
                    site.request_abort();
                });
        }
        EXPECT_EQ(speak_text(engine.get(), text, site), S_OK);
        if (aborter.joinable()) aborter.join();
        expect_consistent(site, full);
        EXPECT_LE(site.audio().size(), full);
        if (round % 3 == 0) {
            EXPECT_TRUE(site.audio().empty());
        }
    }

    sp::engine_site after;
    ASSERT_EQ(speak_text(engine.get(), text, after), S_OK);
    EXPECT_EQ(after.audio(), whole.audio());
}

TEST(PluginHost, ManyEnginesOnManyThreads) {
    constexpr int kThreads = 8;
    constexpr int kEnginesPerThread = 3;
    constexpr int kRounds = 4;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &failures] {
            std::vector<std::pair<int, com::ptr<ISpTTSEngine>>> engines;
            for (int e = 0; e < kEnginesPerThread; ++e) {
                const int voice = (t * kEnginesPerThread + e * 7) % kSpeakerCount;
                engines.emplace_back(voice, make_engine(voice));
            }
            for (int round = 0; round < kRounds; ++round) {
                for (auto& [voice, engine] : engines) {
                    sp::engine_site site;
                    const HRESULT hr =
                        speak_text(engine.get(), "Поток " + std::to_string(t) + ". Ещё.", site);
                    if (hr != S_OK || voice_of(site.audio()) != voice) failures.fetch_add(1);
                }
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_TRUE(library_idle());
}

// Whether the library at `path` is mapped in this process.
bool loaded(const std::string& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) return false;
    dlclose(handle);
    return true;
}

TEST(PluginHost, UnloadWhilePreloading) {
    // A second copy of the library, with a model that takes a while to load,
    // so that preload threads are still running when the host lets go.
    const fs::path copy_dir = dirs().base / "second" / "bin";
    fs::create_directories(copy_dir);
    const fs::path copy = copy_dir / "zelvan_tts_sapi.so";
    fs::copy_file(dirs().library, copy, fs::copy_options::overwrite_existing);
    const fs::path slow_root = dirs().base / "slow_root";
    fs::create_directories(slow_root);
    test_models::write_voice_model((slow_root / "multivoice_base.bin").string(),
                                   test_models::VoiceModelKind::Timed, 8'000'000);
    setenv("ZELVAN_TTS_MODEL_PATH", slow_root.c_str(), 1);

    int refused = 0;
    for (int round = 0; round < 8; ++round) {
        SCOPED_TRACE(round);
        {
            sp::plugin library(copy.string());
            ASSERT_EQ(library.DllRegisterServer(), S_OK);
            {
                auto tokens = sp::list_voice_tokens(library);
                for (int i = 0; i < 4; ++i) {
                    auto engine = sp::create_engine(library, tokens.at(i * 11).get());
                    ASSERT_TRUE(engine);
                }
            }
            // Engines and tokens are gone; the preloads may not be. The host
            // unloads the very moment the library agrees, which is when a
            // preload thread has only just finished its work.
            if (library.DllCanUnloadNow() != S_OK) ++refused;
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
            while (library.DllCanUnloadNow() != S_OK) {
                ASSERT_LT(std::chrono::steady_clock::now(), deadline);
            }
        }  // unloaded here
        EXPECT_FALSE(loaded(copy.string()));
    }
    EXPECT_GT(refused, 0) << "no preload was ever running at unload time";

    setenv("ZELVAN_TTS_MODEL_PATH", dirs().models_root.c_str(), 1);
    // The test library is the registered one again, and still speaks.
    ASSERT_EQ(engine_library().DllRegisterServer(), S_OK);
    sp::engine_site site;
    ASSERT_EQ(speak_text(make_engine(9).get(), "Всё ещё работает.", site), S_OK);
    EXPECT_EQ(voice_of(site.audio()), 9);
}

}  // namespace
}  // namespace zelvan_tts::sapi_test
