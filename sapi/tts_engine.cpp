#include "sapi/tts_engine.h"

#include "engine/model_constants.h"
#include "com/com_error.h"
#include "com/com_ptr.h"
#include "com/iunknown_impl.h"
#include "com/out_ptr.h"
#include "com/wide_string.h"
#include "sapi/speak_items.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <optional>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

namespace zelvan_tts::sapi {

namespace {

using clock = std::chrono::steady_clock;

constexpr ULONGLONG kSentenceInterest = SPFEI(SPEI_SENTENCE_BOUNDARY);
constexpr ULONGLONG kWordInterest = SPFEI(SPEI_WORD_BOUNDARY);
constexpr std::size_t kWritePieceBytes = 9600;  // 100 ms
constexpr ULONGLONG kBytesPerSecond = 96000;

bool abort_requested(ISpTTSEngineSite* site) { return (site->GetActions() & SPVES_ABORT) != 0; }

void send_event(ISpTTSEngineSite* site, SPEVENTENUM id, SPEVENTLPARAMTYPE type, ULONGLONG offset,
                WPARAM wparam, LPARAM lparam) {
    SPEVENT event{};
    event.eEventId = id;
    event.elParamType = type;
    event.ulStreamNum = 0;
    event.ullAudioStreamOffset = offset;
    event.wParam = wparam;
    event.lParam = lparam;
    site->AddEvents(&event, 1);
}

void send_bookmark(ISpTTSEngineSite* site, const SpeakItem& item, ULONGLONG offset) {
    if (item.bookmark_length == 0) return;
    auto* name = static_cast<WCHAR*>(
        CoTaskMemAlloc((std::size_t{item.bookmark_length} + 1) * sizeof(WCHAR)));
    if (name == nullptr) return;
    std::copy(item.bookmark_name.begin(), item.bookmark_name.end(), name);
    name[item.bookmark_length] = 0;
    send_event(site, SPEI_TTS_BOOKMARK, SPET_LPARAM_IS_STRING, offset,
               bookmark_number(item.bookmark_name), reinterpret_cast<LPARAM>(name));
}

void send_word_events(ISpTTSEngineSite* site, const SpeakItem& item, const SynthResult& result,
                      ULONGLONG audio_offset, ULONGLONG bytes) {
    if (result.word_timestamps.empty()) return;
    const auto words = split_words(item.wide_text);
    for (std::size_t i = 0; i < words.size(); ++i) {
        const WordTimestamp& ts =
            result.word_timestamps[std::min(i, result.word_timestamps.size() - 1)];
        send_event(
            site, SPEI_WORD_BOUNDARY, SPET_LPARAM_IS_UNDEFINED,
            word_offset(audio_offset, ts.start, bytes), words[i].length,
            static_cast<LPARAM>(item.src_offset + static_cast<std::int64_t>(words[i].offset)));
    }
}

// Writes in pieces of at most 100 ms so that an abort is noticed soon.
// Returns the bytes written.
std::size_t write_audio(ISpTTSEngineSite* site, const std::vector<std::int16_t>& audio) {
    const auto* data = reinterpret_cast<const BYTE*>(audio.data());
    const std::size_t total = audio.size() * sizeof(std::int16_t);
    std::size_t done = 0;
    while (done < total) {
        if (abort_requested(site)) break;
        const auto piece = static_cast<ULONG>(std::min(kWritePieceBytes, total - done));
        ULONG written = 0;
        const HRESULT hr = site->Write(data + done, piece, &written);
        if (FAILED(hr) || written == 0 || written > piece) break;
        done += written;
    }
    return done;
}

// Waits until the audio written has had time to play, or an abort.
void drain(ISpTTSEngineSite* site, ULONGLONG bytes, ULONGLONG sample_rate,
           clock::time_point start_time) {
    if (bytes == 0 || sample_rate == 0) return;
    const ULONGLONG total_ms = bytes * 1000 / (2 * sample_rate);
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(clock::now() - start_time).count();
    const auto elapsed_ms = static_cast<ULONGLONG>(std::max<std::int64_t>(elapsed, 0));
    const ULONGLONG wait_ms = elapsed_ms < total_ms + 200 ? total_ms + 200 - elapsed_ms : 200;
    for (ULONGLONG k = 0; k < wait_ms; k += 50) {
        if (abort_requested(site)) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

std::future<SynthResult> start_synthesis(const SpeakItem& item, std::int32_t speaker, float speed,
                                         float volume) {
    return std::async(std::launch::async,
                      [text = item.text, speaker, speed, pitch = item.pitch, volume] {
                          SynthResult r;
                          r.ok = synthesize_to_int16(text, speaker, speed, pitch, volume, r.audio,
                                                     &r.word_timestamps);
                          return r;
                      });
}

}  // namespace

std::int32_t speaker_id_from_text(const std::string& text) {
    std::int32_t id = 0;
    try {
        id = std::stoi(text);
    } catch (const std::exception&) {
        id = 0;
    }
    return std::clamp<std::int32_t>(id, 0, kSpeakerCount - 1);
}

namespace {

// The work of a preload thread. The count of live objects includes it, so
// that the host does not unload the library under it.
void preload_model() noexcept {
    try {
        std::lock_guard<std::mutex> lock(tts_base::engine_mutex());
        tts_base::initialize();
    } catch (...) {
        // The next Speak loads again and reports the failure.
    }
    com::live_objects.fetch_sub(1);
}

#ifdef _WIN32

// The thread holds a reference to this library and drops it as it ends, so
// that a host unloading the library the moment DllCanUnloadNow agrees does
// not unmap the code the thread is still returning through.
DWORD WINAPI preload_thread(void* module) {
    preload_model();
    FreeLibraryAndExitThread(static_cast<HMODULE>(module), 0);
}

void start_preload_thread() {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCWSTR>(&preload_thread), &module)) {
        throw std::runtime_error("Cannot hold the voice engine library");
    }
    HANDLE thread = CreateThread(nullptr, 0, &preload_thread, module, 0, nullptr);
    if (thread == nullptr) {
        FreeLibrary(module);
        throw std::runtime_error("Cannot start the model preload");
    }
    CloseHandle(thread);
}

#else

// Threads that may still be running code of this library. A finished one is
// joined when the next starts, the rest when the library is unloaded: the
// host may unload it the moment DllCanUnloadNow agrees, while the last
// preload is still returning through this library's code.
struct preload_threads {
    std::mutex mutex;
    std::vector<std::pair<std::thread, std::shared_ptr<std::atomic<bool> > > > running;
};

// Never destroyed at process exit, where threads may still be running (a
// joinable thread must not be destroyed); freed by an unload of the library.
preload_threads* preload_registry = new preload_threads;

preload_threads& preloads() { return *preload_registry; }

void start_preload_thread() {
    auto& threads = preloads();
    std::lock_guard<std::mutex> lock(threads.mutex);
    auto& running = threads.running;
    for (auto it = running.begin(); it != running.end();) {
        if (it->second->load()) {
            it->first.join();
            it = running.erase(it);
        } else {
            ++it;
        }
    }
    running.reserve(running.size() + 1);
    auto finished = std::make_shared<std::atomic<bool> >(false);
    running.emplace_back(std::thread([finished] {
                             preload_model();
                             finished->store(true);
                         }),
                         finished);
}

#endif

}  // namespace

void start_preload() {
    com::live_objects.fetch_add(1);
    try {
        start_preload_thread();
    } catch (...) {
        com::live_objects.fetch_sub(1);
        throw;
    }
}

void finish_preloads() noexcept {
#ifndef _WIN32
    if (preload_registry == nullptr) return;
    {
        std::lock_guard<std::mutex> lock(preload_registry->mutex);
        for (auto& running : preload_registry->running) running.first.join();
    }
    delete preload_registry;
    preload_registry = nullptr;
#endif
}

ISpTTSEngineImpl::~ISpTTSEngineImpl() {
    if (token_ != nullptr) token_->Release();
}

HRESULT ISpTTSEngineImpl::SetObjectToken(ISpObjectToken* token) {
    if (token == nullptr) return E_INVALIDARG;
    return com::guarded([&] {
        std::int32_t speaker = 0;
        com::ptr<ISpDataKey> attributes;
        if (SUCCEEDED(token->OpenKey(com::to_wide("Attributes").c_str(), attributes.receive())) &&
            attributes) {
            utils::out_ptr text(&CoTaskMemFree);
            if (SUCCEEDED(attributes->GetStringValue(com::to_wide("SpeakerId").c_str(),
                                                     text.receive())) &&
                text.get() != nullptr) {
                speaker = speaker_id_from_text(com::to_utf8(text.get()));
            }
        }
        {
            std::lock_guard<std::mutex> lock(token_mutex_);
            speaker_id_ = speaker;
            token->AddRef();
            if (token_ != nullptr) token_->Release();
            token_ = token;
        }
        start_preload();
        return S_OK;
    });
}

HRESULT ISpTTSEngineImpl::GetObjectToken(ISpObjectToken** token) {
    if (token == nullptr) return E_POINTER;
    *token = nullptr;
    std::lock_guard<std::mutex> lock(token_mutex_);
    if (token_ == nullptr) return E_UNEXPECTED;
    token_->AddRef();
    *token = token_;
    return S_OK;
}

HRESULT ISpTTSEngineImpl::GetOutputFormat(const GUID*, const WAVEFORMATEX*, GUID* format_id,
                                          WAVEFORMATEX** wave_format) {
    if (format_id == nullptr || wave_format == nullptr) return E_POINTER;
    *format_id = SPDFID_WaveFormatEx;
    auto* format = static_cast<WAVEFORMATEX*>(CoTaskMemAlloc(sizeof(WAVEFORMATEX)));
    if (format == nullptr) return E_OUTOFMEMORY;
    format->wFormatTag = WAVE_FORMAT_PCM;
    format->nChannels = 1;
    format->nSamplesPerSec = kSampleRate;
    format->nAvgBytesPerSec = kSampleRate * 2;
    format->nBlockAlign = 2;
    format->wBitsPerSample = 16;
    format->cbSize = 0;
    *wave_format = format;
    return S_OK;
}

HRESULT ISpTTSEngineImpl::Speak(DWORD, REFGUID, const WAVEFORMATEX*, const SPVTEXTFRAG* fragments,
                                ISpTTSEngineSite* site) {
    if (fragments == nullptr || site == nullptr) return E_INVALIDARG;
    return com::guarded([&] { return speak(fragments, site); });
}

HRESULT ISpTTSEngineImpl::speak(const SPVTEXTFRAG* fragments, ISpTTSEngineSite* site) {
    ULONGLONG interest = 0;
    site->GetEventInterest(&interest);
    const bool sentence_events = (interest & kSentenceInterest) != 0;
    const bool word_events = (interest & kWordInterest) != 0;
    LONG rate = 0;
    site->GetRate(&rate);
    const float speed = speed_for_rate(rate);
    USHORT volume = 100;
    if (FAILED(site->GetVolume(&volume))) volume = 100;
    const float volume_gain = volume_factor(volume);
    std::int32_t speaker = 0;
    {
        std::lock_guard<std::mutex> lock(token_mutex_);
        speaker = speaker_id_;
    }

    const std::vector<SpeakItem> items = build_items(fragments);
    const auto next_speech = [&](std::size_t from) {
        while (from < items.size() && items[from].is_bookmark) ++from;
        return from;
    };

    // Declared after the items, so that a pending synthesis is waited for
    // before anything it reads goes away.
    std::future<SynthResult> pending;
    std::size_t pending_index = next_speech(0);
    if (pending_index < items.size()) {
        pending = start_synthesis(items[pending_index], speaker, speed, volume_gain);
    }

    ULONGLONG audio_offset = 0;
    clock::time_point start_time = clock::now();
    bool first_write = true;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (abort_requested(site)) break;
        const SpeakItem& item = items[i];
        if (item.is_bookmark) {
            send_bookmark(site, item, audio_offset);
            continue;
        }
        const SynthResult result = pending.get();
        if (!result.ok) break;
        pending_index = next_speech(i + 1);
        if (pending_index < items.size()) {
            pending = start_synthesis(items[pending_index], speaker, speed, volume_gain);
        }

        const ULONGLONG bytes = result.audio.size() * sizeof(std::int16_t);
        if (sentence_events) {
            send_event(site, SPEI_SENTENCE_BOUNDARY, SPET_LPARAM_IS_UNDEFINED, audio_offset,
                       static_cast<WPARAM>(item.length), static_cast<LPARAM>(item.src_offset));
        }
        if (word_events && bytes > 0 && !item.wide_text.empty()) {
            send_word_events(site, item, result, audio_offset, bytes);
        }
        if (first_write) {
            start_time = clock::now();
            first_write = false;
        }
        if (write_audio(site, result.audio) != bytes) break;
        audio_offset += bytes;
    }
    if (pending.valid()) pending.wait();

    drain(site, audio_offset, kSampleRate, start_time);
    return S_OK;
}

void* ISpTTSEngineImpl::interface_for(REFIID riid) {
    if (riid == IID_IUnknown || riid == IID_ISpTTSEngine) return static_cast<ISpTTSEngine*>(this);
    if (riid == IID_ISpObjectWithToken) return static_cast<ISpObjectWithToken*>(this);
    return nullptr;
}

}  // namespace zelvan_tts::sapi
