// The module driven through its protocol, as speech-dispatcher drives it: a
// harness writes requests into its input and reads the replies, events and
// audio blocks from its output. A fake engine stands in for the library.
#include "speechd/module_session.h"

#include "shared/symbols/code_points.h"
#include "shared/symbols/speakers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <unistd.h>

namespace zelvan_tts::speechd {
namespace {

using namespace std::chrono_literals;

// Speaks each sentence (or 250 bytes) as 480 samples, after `delay`.
struct FakeEngine : SpeechEngine {
    struct Log {
        std::mutex m;
        std::vector<std::string> texts;
        std::vector<SynthesisRequest> requests;
    };
    std::shared_ptr<Log> log;
    std::chrono::milliseconds delay;

    SynthesisResult synthesize(std::string_view text, const std::vector<TextMark>& marks,
                               const SynthesisRequest& request, const AudioSink& sink,
                               const MarkSink& on_mark, std::string& error) override {
        {
            std::lock_guard<std::mutex> lock(log->m);
            log->texts.emplace_back(text);
            log->requests.push_back(request);
        }
        if (text.find("FAIL") != std::string_view::npos) {
            error = "the fake engine failed";
            return SynthesisResult::Failed;
        }
        const std::vector<float> audio(480, 0.25f);
        std::size_t start = 0;
        std::size_t next_mark = 0;
        // The marks up to byte `at`, once the audio before them is out.
        const auto marks_before = [&](std::size_t at) {
            for (; next_mark < marks.size() && marks[next_mark].offset <= at; ++next_mark)
                if (!on_mark(marks[next_mark].name)) return false;
            return true;
        };
        while (start < text.size()) {
            std::size_t end = text.find_first_of(".!?", start);
            end = std::min(end == std::string_view::npos ? text.size() : end + 1, start + 250);
            std::this_thread::sleep_for(delay);
            if (!marks_before(start) || !sink(audio.data(), audio.size()))
                return SynthesisResult::Stopped;
            start = end;
        }
        return marks_before(text.size()) ? SynthesisResult::Done : SynthesisResult::Stopped;
    }
};

class Harness {
public:
    explicit Harness(std::chrono::milliseconds delay = 0ms, bool engine_opens = true)
        : log_(std::make_shared<FakeEngine::Log>()) {
        if (pipe(in_) != 0 || pipe(out_) != 0) throw std::runtime_error("pipe");
        std::vector<VoiceInfo> voices;
        for (const SpeakerInfo& s : speakers)
            voices.push_back({s.speaker_name, utf16_to_utf8(s.display_name), s.lang});
        auto open = [log = log_, delay, engine_opens](std::string& error) {
            std::unique_ptr<SpeechEngine> engine;
            if (!engine_opens) {
                error = "no voice model";
                return engine;
            }
            auto fake = std::make_unique<FakeEngine>();
            fake->log = log;
            fake->delay = delay;
            engine = std::move(fake);
            return engine;
        };
        session_ = std::make_unique<ModuleSession>(voices, open, out_[1], 20);
        server_ = std::thread([this] {
            LineReader in(in_[0]);
            session_->serve(in);
            session_.reset();
            close(out_[1]);
        });
        reader_ = std::thread([this] { read_events(); });
    }
    ~Harness() {
        close(in_[1]);
        server_.join();
        reader_.join();
        close(in_[0]);
        close(out_[0]);
    }

    void send(const std::string& text) {
        ASSERT_EQ(write(in_[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }

    // Events up to and including `last` ("A" for a run of audio blocks);
    // "TIMEOUT" ends them when `last` does not come in time.
    std::vector<std::string> until(const std::string& last, std::chrono::seconds limit = 20s) {
        std::vector<std::string> got;
        std::unique_lock<std::mutex> lock(m_);
        for (;;) {
            if (!cv_.wait_for(lock, limit, [this] { return !events_.empty() || ended_; }) ||
                events_.empty()) {
                got.push_back("TIMEOUT");
                return got;
            }
            std::string e = std::move(events_.front());
            events_.pop_front();
            if (!(e == "A" && !got.empty() && got.back() == "A")) got.push_back(e);
            if (e == last) return got;
        }
    }

    std::vector<std::string> texts() {
        std::lock_guard<std::mutex> lock(log_->m);
        return log_->texts;
    }
    SynthesisRequest last_request() {
        std::lock_guard<std::mutex> lock(log_->m);
        return log_->requests.back();
    }
    // Whether the module ends its output (as it does once it has served)
    // within ten seconds.
    bool ends() {
        std::unique_lock<std::mutex> lock(m_);
        return cv_.wait_for(lock, 10s, [this] { return ended_; });
    }
    std::size_t samples() const { return samples_; }

private:
    void read_events() {
        LineReader out(out_[0]);
        std::string line;
        std::size_t announced = 0;
        while (out.read_line(line)) {
            std::string event = line;
            if (line.rfind("705-num_samples=", 0) == 0) announced = std::stoul(line.substr(16));
            if (line.rfind("705-AUDIO", 0) == 0) {
                // The data after the NUL must hold exactly the announced samples.
                const std::size_t bytes = hdlc_unescape(std::string_view(line).substr(10)).size();
                event = bytes == 2 * announced ? "A" : "BAD AUDIO";
                samples_ += announced;
            } else if (line.rfind("705", 0) == 0) {
                continue;
            }
            std::lock_guard<std::mutex> lock(m_);
            events_.push_back(event);
            cv_.notify_all();
        }
        std::lock_guard<std::mutex> lock(m_);
        ended_ = true;
        cv_.notify_all();
    }

    std::shared_ptr<FakeEngine::Log> log_;
    int in_[2];
    int out_[2];
    std::unique_ptr<ModuleSession> session_;
    std::thread server_, reader_;
    std::atomic<std::size_t> samples_{0};
    std::mutex m_;
    std::condition_variable cv_;
    std::deque<std::string> events_;
    bool ended_ = false;
};

using Events = std::vector<std::string>;

TEST(ModuleSession, AnswersEveryRequest) {
    Harness h;
    const struct {
        const char* request;
        const char* last;
        Events events;
    } kExchanges[] = {
        {"INIT\n", "299 OK LOADED SUCCESSFULLY",
         {"299-Zelvan TTS: 60 voices", "299 OK LOADED SUCCESSFULLY"}},
        {"AUDIO\naudio_output_method=server\n.\n", "203 OK AUDIO INITIALIZED",
         {"207 OK RECEIVING AUDIO SETTINGS", "203 OK AUDIO INITIALIZED"}},
        {"AUDIO\naudio_output_method=pulse\n.\n", "300 ERR UNSUPPORTED AUDIO OUTPUT",
         {"207 OK RECEIVING AUDIO SETTINGS", "300-audio goes through the server only, not pulse",
          "300 ERR UNSUPPORTED AUDIO OUTPUT"}},
        {"LOGLEVEL\nlog_level=5\n.\n", "203 OK LOGLEVEL SET",
         {"207 OK RECEIVING LOGLEVEL SETTINGS", "203 OK LOGLEVEL SET"}},
        {"SET\npitch=0\nrate=0\nvolume=0\npunctuation_mode=none\nspelling_mode=off\n"
         "cap_let_recogn=none\nvoice=male1\nlanguage=c\nsynthesis_voice=NULL\n.\n",
         "203 OK SETTINGS RECEIVED", {"203 OK RECEIVING SETTINGS", "203 OK SETTINGS RECEIVED"}},
        {"SET\nrate=fast\nvolume=10\n.\n", "303 ERR INVALID VALUE",
         {"203 OK RECEIVING SETTINGS", "303-invalid value: rate=fast", "303 ERR INVALID VALUE"}},
        {"STOP\nPAUSE\nSPEAK\n<speak>Привет.</speak>\n.\n", "702 END",
         {"202 OK RECEIVING MESSAGE", "200 OK SPEAKING", "701 BEGIN", "A", "702 END"}},
        {"SPEAK\n\n.\n", "702 END",
         {"202 OK RECEIVING MESSAGE", "200 OK SPEAKING", "701 BEGIN", "702 END"}},
        {"CHAR\nA\n.\n", "702 END",
         {"202 OK RECEIVING MESSAGE", "200 OK SPEAKING", "701 BEGIN", "A", "702 END"}},
        {"KEY\nshift_a\n.\n", "702 END",
         {"202 OK RECEIVING MESSAGE", "200 OK SPEAKING", "701 BEGIN", "A", "702 END"}},
        {"SOUND_ICON\nmessage\n.\n", "702 END",
         {"202 OK RECEIVING MESSAGE", "200 OK SPEAKING", "701 BEGIN", "706-message", "706 ICON",
          "702 END"}},
        {"SPEAK\n<speak>Раз.<mark name=\"a\"/> Два.<break time=\"100ms\"/><mark name=\"b\"/> "
         "Три.</speak>\n.\n",
         "702 END",
         {"202 OK RECEIVING MESSAGE", "200 OK SPEAKING", "701 BEGIN", "A", "700-a",
          "700 INDEX MARK", "A", "700-b", "700 INDEX MARK", "A", "702 END"}},
        // A document type is refused: the message says nothing and ends.
        {"SPEAK\n<!DOCTYPE speak [<!ENTITY e \"эхо\">]><speak>&e;&e;</speak>\n.\n", "702 END",
         {"202 OK RECEIVING MESSAGE", "200 OK SPEAKING", "701 BEGIN", "702 END"}},
        {"SPEAK\n<speak>Беда FAIL.</speak>\n.\n", "703 STOP",
         {"202 OK RECEIVING MESSAGE", "200 OK SPEAKING", "701 BEGIN", "703 STOP"}},
        {"DEBUG ON /nonexistent/dir/zelvan.log\n", "300 ERR CANNOT OPEN DEBUG FILE",
         {"300 ERR CANNOT OPEN DEBUG FILE"}},
        {"DEBUG OFF\n", "200 OK DEBUGGING OFF", {"200 OK DEBUGGING OFF"}},
        {"HELLO\n\n", "300 ERR UNKNOWN COMMAND",
         {"300 ERR UNKNOWN COMMAND", "300 ERR UNKNOWN COMMAND"}},
    };
    for (const auto& x : kExchanges) {
        h.send(x.request);
        Events got = h.until(x.last);
        if (std::string(x.last) == "300 ERR UNKNOWN COMMAND") {
            const Events more = h.until(x.last);
            got.insert(got.end(), more.begin(), more.end());
        }
        EXPECT_EQ(got, x.events) << x.request;
    }

    // Marks inside a sentence leave it one synthesis.
    h.send("SPEAK\n<speak>Раз<mark name=\"a\"/> два<mark name=\"b\"/> три.</speak>\n.\n");
    h.until("702 END");
    EXPECT_EQ(h.texts().back(), "Раз два три.");

    h.send("LIST VOICES\n");
    const Events voices = h.until("200 OK VOICE LIST SENT");
    ASSERT_EQ(voices.size(), 61u);
    EXPECT_EQ(voices[13], "200-kaz_aidana\tkk\tnone");

    // Settings reach the engine with the next message.
    h.send("SET\nrate=100\nvoice=female1\nlanguage=kk\npunctuation_mode=some\n.\n");
    h.until("203 OK SETTINGS RECEIVED");
    h.send("SPEAK\n<speak>1+1</speak>\n.\n");
    h.until("702 END");
    EXPECT_EQ(h.texts().back(), "1 плюс 1");
    EXPECT_EQ(h.last_request().voice, 13);
    EXPECT_FLOAT_EQ(h.last_request().speed, 3.0f);

    h.send("QUIT\n");
    EXPECT_EQ(h.until("210 OK QUIT"), Events{"210 OK QUIT"});
    EXPECT_TRUE(h.ends());
}

TEST(ModuleSession, StopAndPauseInTheMiddleOfALongText) {
    // 20 ms per sentence: the whole text would take 40 s.
    Harness h(20ms);
    std::string text = "<speak>";
    for (int i = 0; i < 2000; ++i)
        text += "Предложение номер " + std::to_string(i) + ".<mark name=\"__spd_" +
                std::to_string(i) + "\"/> ";
    text += "</speak>";
    h.send("INIT\n");
    h.until("299 OK LOADED SUCCESSFULLY");
    for (int round = 0; round < 3; ++round) {
        h.send("SPEAK\n" + text + "\n.\n");
        EXPECT_EQ(h.until("700 INDEX MARK"),
                  (Events{"202 OK RECEIVING MESSAGE", "200 OK SPEAKING", "701 BEGIN", "A",
                          "700-__spd_0", "700 INDEX MARK"}));
        const auto sent = std::chrono::steady_clock::now();
        h.send("STOP\n");
        const Events stopped = h.until("703 STOP");
        const auto took = std::chrono::steady_clock::now() - sent;
        ASSERT_EQ(stopped.back(), "703 STOP");
        EXPECT_LT(took, 50ms) << "round " << round;
        // Nothing of the stopped message follows; the module takes the next one.
        h.send("SPEAK\n<speak>Готов.</speak>\n.\n");
        EXPECT_EQ(h.until("702 END"), (Events{"202 OK RECEIVING MESSAGE", "200 OK SPEAKING",
                                              "701 BEGIN", "A", "702 END"}));
    }

    // PAUSE stops right after the next mark of speech-dispatcher's.
    h.send("SPEAK\n" + text + "\n.\n");
    Events paused = h.until("700 INDEX MARK");
    h.send("PAUSE\n");
    const Events rest = h.until("704 PAUSE");
    paused.insert(paused.end(), rest.begin(), rest.end());
    ASSERT_EQ(paused.back(), "704 PAUSE");
    EXPECT_EQ(paused[paused.size() - 2], "700 INDEX MARK");
    EXPECT_LE(std::count(rest.begin(), rest.end(), "700 INDEX MARK"), 2);
    h.send("QUIT\n");
    EXPECT_EQ(h.until("210 OK QUIT"), Events{"210 OK QUIT"});
}

TEST(ModuleSession, HugeAndOddTextsNeverHangOrKillIt) {
    Harness h;
    std::string nested;
    for (int i = 0; i < 100000; ++i) nested += "<p>";
    std::string many_marks = "<speak>";
    for (int i = 0; i < 20000; ++i) many_marks += "а<mark name=\"m" + std::to_string(i) + "\"/>";
    many_marks += "</speak>";
    std::string garbage;
    for (int i = 0; i < 200000; ++i) garbage += static_cast<char>(1 + (i * 7919) % 255);
    const std::string texts[] = {
        "<speak>" + std::string(1 << 20, 'x') + "</speak>",
        "<speak>" + [] {
            std::string s;
            for (int i = 0; i < 10000; ++i) s += "Да. ";
            return s;
        }() + "</speak>",
        nested + "глубоко",
        many_marks,
        garbage,
        std::string("<speak>\0\0\0</speak>", 18),
        "<speak><break time=\"9999999s\"/></speak>",
        "<speak><prosody rate=\"0%\" pitch=\"-1000st\" volume=\"+1000dB\">x</prosody></speak>",
        "<speak>\n..\n..\n</speak>",
        "<<<<>>>>&&&&;;;;\"\"''",
    };
    h.send("INIT\n");
    h.until("299 OK LOADED SUCCESSFULLY");
    for (const std::string& text : texts) {
        const std::size_t samples_before = h.samples();
        std::string body;
        // Lines of a single dot are doubled, as speech-dispatcher sends them.
        std::size_t start = 0;
        while (start <= text.size()) {
            std::size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            const std::string line = text.substr(start, end - start);
            body += (line == "." ? ".." : line) + "\n";
            start = end + 1;
        }
        h.send("SPEAK\n" + body + ".\n");
        const Events got = h.until("702 END", 60s);
        EXPECT_EQ(got.back(), "702 END") << text.substr(0, 40);
        EXPECT_EQ(std::count(got.begin(), got.end(), "BAD AUDIO"), 0);
        // A pause of 9999999 s is cut to a minute of silence.
        if (text.find("9999999s") != std::string::npos) {
            EXPECT_EQ(h.samples() - samples_before, 60u * kOutputRate);
        }
    }
    h.send("LIST VOICES\n");
    EXPECT_EQ(h.until("200 OK VOICE LIST SENT").size(), 61u);
}

TEST(ModuleSession, AnEngineThatCannotOpenIsAClearError) {
    Harness h(0ms, false);
    h.send("INIT\n");
    EXPECT_EQ(h.until("399 ERR CANT INIT MODULE"),
              (Events{"399-no voice model", "399 ERR CANT INIT MODULE"}));
    h.send("SPEAK\nПривет\n.\n");
    EXPECT_EQ(h.until("401 ERR NOT INITIALIZED"),
              (Events{"202 OK RECEIVING MESSAGE", "401-no voice model", "401 ERR NOT INITIALIZED"}));
}

}  // namespace
}  // namespace zelvan_tts::speechd
