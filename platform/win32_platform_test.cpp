// The platform services against Windows itself (run under Wine on the build
// machine). Cases that need a second process start platform_test_peer.
#include "core/data_files.h"
#include "core/settings.h"
#include "platform/app_data.h"
#include "platform/console_window.h"
#include "platform/debug_output.h"
#include "platform/local_pipe.h"
#include "platform/model_path_setting.h"
#include "platform/module_path.h"
#include "platform/named_signal.h"
#include "platform/named_signal_checks.h"
#include "platform/object_names.h"
#include "platform/process_launch.h"
#include "platform/server_ready.h"
#include "platform/utf8_path.h"

#include <windows.h>

#include <aclapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace zelvan_tts {
namespace {

namespace fs = std::filesystem;

#ifndef DBG_PRINTEXCEPTION_C
#define DBG_PRINTEXCEPTION_C 0x40010006L
#endif

fs::path test_bin_dir() { return running_module_file().parent_path(); }

// A folder of this test's own under the system's temporary folder, with a
// name that is not ASCII, removed at the end of the scope.
class ScratchDir {
public:
    explicit ScratchDir(const std::string& tag) {
        path_ = fs::temp_directory_path() /
                path_from_utf8("zelvan_тест_" + tag + "_" + std::to_string(GetCurrentProcessId()));
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~ScratchDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

std::string read_bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_bytes(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Sets (or, with null, removes) a variable of the C runtime's environment
// for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        _putenv_s(name, value ? value : "");
    }
    ~ScopedEnv() { _putenv_s(name_, old_ ? old_->c_str() : ""); }

private:
    const char* name_;
    std::optional<std::string> old_;
};

// Runs the peer program with `args` and returns its exit code; -1 when it
// could not be run or did not end within a minute.
int run_peer(const std::vector<std::wstring>& args, DWORD flags = CREATE_NO_WINDOW) {
    const fs::path program = test_bin_dir() / PEER_PROGRAM_NAME;
    std::wstring line = L"\"" + program.native() + L"\"";
    for (const std::wstring& arg : args) line += L" \"" + arg + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, flags, nullptr,
                        nullptr, &startup, &process)) {
        return -1;
    }
    CloseHandle(process.hThread);
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(process.hProcess, &code)) {
        TerminateProcess(process.hProcess, 1);
        code = static_cast<DWORD>(-1);
    }
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

std::wstring wide(const std::string& utf8) { return path_from_utf8(utf8).native(); }

// ---------------------------------------------------------------------------
// Object names

TEST(ObjectNames, AreTheWindowsNamesWithTheNamespaceAppended) {
    struct Case {
        const char* ns;  // null: unset
        NamedObject object;
        const char* expected;
    };
    const Case cases[] = {
        {nullptr, NamedObject::Pipe, "\\\\.\\pipe\\ZelvanTTSBridge"},
        {nullptr, NamedObject::ServerMutex, "Global\\ZelvanTTSServerMutex"},
        {nullptr, NamedObject::ServerReady, "Global\\ZelvanTTSServerReady"},
        {nullptr, NamedObject::ConfigChanged, "Local\\ZelvanTTSConfigChanged"},
        {"t1", NamedObject::Pipe, "\\\\.\\pipe\\ZelvanTTSBridge.t1"},
        {"t1", NamedObject::ServerMutex, "Global\\ZelvanTTSServerMutex.t1"},
        {"t1", NamedObject::ServerReady, "Global\\ZelvanTTSServerReady.t1"},
        {"t1", NamedObject::ConfigChanged, "Local\\ZelvanTTSConfigChanged.t1"},
    };
    for (const Case& c : cases) {
        ScopedEnv env("ZELVAN_TTS_NAMESPACE", c.ns);
        EXPECT_EQ(object_name(c.object), c.expected) << (c.ns ? c.ns : "(unset)");
    }
}

// ---------------------------------------------------------------------------
// The pipe

std::atomic<int> pipe_counter{0};

// A pipe name of its own for each case, inside the test's namespace.
std::string fresh_pipe_name() {
    return object_name(NamedObject::Pipe) + ".case" + std::to_string(pipe_counter++);
}

std::vector<std::uint8_t> pattern(std::size_t size, unsigned seed) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>((i * 131 + seed * 7 + (i >> 8)) & 0xff);
    }
    return bytes;
}

// A server end and a client end of a named pipe, connected in this thread:
// the client's open does not wait for the server's accept.
struct ConnectedPair {
    std::unique_ptr<PipeListener> listener;
    std::unique_ptr<PipeConnection> server;
    std::unique_ptr<PipeConnection> client;
};

ConnectedPair connect_pair(const std::string& name) {
    ConnectedPair pair;
    int error = 0;
    pair.listener = PipeListener::listen(name, error);
    if (!pair.listener || !pair.listener->prepare(error)) return pair;
    EXPECT_EQ(pair.listener->accept(0, error), nullptr);  // nobody there yet
    pair.client = connect_pipe(name);
    if (pair.client) pair.server = pair.listener->accept(10000, error);
    return pair;
}

TEST(Pipe, CarriesMessagesBothWaysIncludingOnesLargerThanItsBuffer) {
    const std::string name = fresh_pipe_name();
    int error = -1;
    auto listener = PipeListener::listen(name, error);
    ASSERT_NE(listener, nullptr) << error;
    ASSERT_TRUE(listener->prepare(error)) << error;
    EXPECT_EQ(error, 0);
    EXPECT_TRUE(listener->prepared());

    const auto request = pattern(300000, 1);  // more than the 64 KiB buffer
    const auto reply = pattern(200000, 2);
    std::promise<bool> client_done;
    std::thread client([&] {
        auto pipe = connect_pipe(name);
        bool ok = pipe != nullptr;
        std::uint8_t header[8] = {2, 0, 0, 0};  // type 2, then the length
        const std::uint32_t length = static_cast<std::uint32_t>(request.size());
        std::memcpy(header + 4, &length, 4);
        ok = ok && pipe->write_all(header, sizeof header, 10000) &&
             pipe->write_all(request.data(), request.size(), 10000);
        std::vector<std::uint8_t> answer(reply.size());
        ok = ok && pipe->read_exact(answer.data(), answer.size(), 10000) && answer == reply;
        client_done.set_value(ok);
    });

    auto connection = listener->accept(10000, error);
    ASSERT_NE(connection, nullptr);
    EXPECT_FALSE(listener->prepared()) << "the instance now belongs to the connection";
    std::uint8_t header[8];
    ASSERT_TRUE(connection->read_exact(header, sizeof header, 10000));
    std::uint32_t length = 0;
    std::memcpy(&length, header + 4, 4);
    EXPECT_EQ(header[0], 2);
    ASSERT_EQ(length, request.size());
    std::vector<std::uint8_t> received(length);
    ASSERT_TRUE(connection->read_exact(received.data(), received.size(), 10000));
    EXPECT_EQ(received, request);
    ASSERT_TRUE(connection->write_all(reply.data(), reply.size(), 10000));
    EXPECT_TRUE(client_done.get_future().get());
    client.join();
}

// Each read is one operation that the peer's writes must satisfy at once.
TEST(Pipe, AReadSucceedsOnlyWhenOneWriteBringsTheWholeCount) {
    struct Step {
        bool write;  // a client write, else a server read_exact
        std::size_t count;
        bool expect_ok;  // for reads
    };
    struct Case {
        const char* what;
        std::vector<Step> steps;
    };
    const Case cases[] = {
        {"header and payload in one write", {{true, 13, true}, {false, 8, true}, {false, 5, true}}},
        {"header, then payload",
         {{true, 8, true}, {false, 8, true}, {true, 5, true}, {false, 5, true}}},
        {"header in two writes", {{true, 4, true}, {false, 8, false}}},
        {"payload in two writes",
         {{true, 8, true}, {false, 8, true}, {true, 2, true}, {false, 5, false}}},
        {"both halves written before the read",
         {{true, 4, true}, {true, 4, true}, {false, 8, true}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ConnectedPair pair = connect_pair(fresh_pipe_name());
        ASSERT_NE(pair.server, nullptr);
        std::vector<std::uint8_t> sent, received;
        for (const Step& step : c.steps) {
            if (step.write) {
                const auto bytes = pattern(step.count, static_cast<unsigned>(sent.size()));
                ASSERT_TRUE(pair.client->write_all(bytes.data(), bytes.size(), 5000));
                sent.insert(sent.end(), bytes.begin(), bytes.end());
            } else {
                std::vector<std::uint8_t> buffer(step.count);
                const bool ok = pair.server->read_exact(buffer.data(), buffer.size(), 2000);
                EXPECT_EQ(ok, step.expect_ok) << "read of " << step.count;
                if (!ok) break;
                received.insert(received.end(), buffer.begin(), buffer.end());
            }
        }
        if (received.size() == sent.size()) {
            EXPECT_EQ(received, sent);
        }
    }
}

TEST(Pipe, WaitsEndAtTheirTimeOuts) {
    ConnectedPair pair = connect_pair(fresh_pipe_name());
    ASSERT_NE(pair.server, nullptr);

    // A silent peer: the read gives up.
    std::uint8_t byte = 0;
    EXPECT_FALSE(pair.server->read_exact(&byte, 1, 200));
    EXPECT_FALSE(pair.server->wait_readable(100));

    // A peer that reads nothing: a write beyond the pipe's buffer gives up.
    const auto big = pattern(1 << 20, 3);
    EXPECT_FALSE(pair.server->write_all(big.data(), big.size(), 300));

    // Nobody connects: accept gives up, and the instance keeps waiting.
    const std::string name = fresh_pipe_name();
    int error = 0;
    auto listener = PipeListener::listen(name, error);
    ASSERT_NE(listener, nullptr);
    ASSERT_TRUE(listener->prepare(error));
    EXPECT_EQ(listener->accept(100, error), nullptr);
    EXPECT_EQ(listener->accept(100, error), nullptr);
    EXPECT_EQ(error, 0) << "a time-out is no failure";
    EXPECT_TRUE(listener->prepared());
    auto client = connect_pipe(name);
    ASSERT_NE(client, nullptr);
    auto server = listener->accept(5000, error);
    ASSERT_NE(server, nullptr);
    const std::uint8_t sent[3] = {7, 8, 9};
    ASSERT_TRUE(client->write_all(sent, sizeof sent, 5000));
    std::uint8_t got[3] = {};
    ASSERT_TRUE(server->read_exact(got, sizeof got, 5000));
    EXPECT_EQ(std::memcmp(got, sent, sizeof sent), 0);
}

TEST(Pipe, PeekLooksWithoutTakingAndTheEndOfTheStreamIsReadable) {
    ConnectedPair pair = connect_pair(fresh_pipe_name());
    ASSERT_NE(pair.server, nullptr);
    std::uint8_t buffer[16] = {};
    EXPECT_EQ(pair.server->peek(buffer, sizeof buffer), 0u);

    const auto bytes = pattern(12, 5);
    ASSERT_TRUE(pair.client->write_all(bytes.data(), bytes.size(), 5000));
    ASSERT_TRUE(pair.server->wait_readable(5000));
    std::uint8_t first[8] = {};
    ASSERT_EQ(pair.server->peek(first, sizeof first), 8u);
    EXPECT_EQ(std::memcmp(first, bytes.data(), 8), 0);
    EXPECT_EQ(pair.server->peek(buffer, sizeof buffer), 12u) << "peeking took nothing";
    std::vector<std::uint8_t> all(12);
    ASSERT_TRUE(pair.server->read_exact(all.data(), all.size(), 5000));
    EXPECT_EQ(all, bytes);

    // The client leaves: the server sees the end at once, and reads fail.
    pair.client.reset();
    EXPECT_TRUE(pair.server->wait_readable(5000));
    EXPECT_FALSE(pair.server->read_exact(buffer, 1, 5000));
    EXPECT_EQ(pair.server->peek(buffer, sizeof buffer), 0u);
}

TEST(Pipe, ServerDroppingAConnectionEndsItForTheClient) {
    ConnectedPair pair = connect_pair(fresh_pipe_name());
    ASSERT_NE(pair.server, nullptr);
    pair.server.reset();
    std::uint8_t byte = 0;
    EXPECT_TRUE(pair.client->wait_readable(5000));
    EXPECT_FALSE(pair.client->read_exact(&byte, 1, 5000));
    EXPECT_FALSE(pair.client->write_all(&byte, 1, 5000));
}

TEST(Pipe, OneClientAtATimeTheNextWaitsForAFreshInstance) {
    const std::string name = fresh_pipe_name();
    EXPECT_EQ(connect_pipe(name), nullptr) << "no server, no connection";

    ConnectedPair first = connect_pair(name);
    ASSERT_NE(first.server, nullptr);
    std::promise<std::unique_ptr<PipeConnection>> second_promise;
    auto second_future = second_promise.get_future();
    std::thread second_client([&] { second_promise.set_value(connect_pipe(name)); });
    // Busy: the one instance serves the first client.
    EXPECT_EQ(second_future.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);

    first.server.reset();
    int error = 0;
    ASSERT_TRUE(first.listener->prepare(error)) << error;
    auto second_server = first.listener->accept(20000, error);
    ASSERT_NE(second_server, nullptr);
    auto second = second_future.get();
    second_client.join();
    ASSERT_NE(second, nullptr);
    const std::uint8_t byte = 42;
    ASSERT_TRUE(second->write_all(&byte, 1, 5000));
    std::uint8_t got = 0;
    ASSERT_TRUE(second_server->read_exact(&got, 1, 5000));
    EXPECT_EQ(got, 42);
    std::uint8_t ignored = 0;
    EXPECT_FALSE(first.client->read_exact(&ignored, 1, 1000)) << "the first was disconnected";
}

TEST(Pipe, AnyLocalUserMayConnect) {
    // The access list of the pipe, read through a client's handle: present
    // and null, which grants everyone everything.
    const std::string name = fresh_pipe_name();
    int error = 0;
    auto listener = PipeListener::listen(name, error);
    ASSERT_NE(listener, nullptr);
    ASSERT_TRUE(listener->prepare(error));
    HANDLE raw =
        CreateFileW(wide(name).c_str(), READ_CONTROL, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(raw, INVALID_HANDLE_VALUE) << GetLastError();
    PACL dacl = reinterpret_cast<PACL>(1);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD status = GetSecurityInfo(raw, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                         nullptr, &dacl, nullptr, &descriptor);
    CloseHandle(raw);
    ASSERT_EQ(status, ERROR_SUCCESS);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
    EXPECT_TRUE(control & SE_DACL_PRESENT);
    EXPECT_EQ(dacl, nullptr);
    LocalFree(descriptor);
}

TEST(Pipe, ConnectedPairsNeedNoName) {
    std::unique_ptr<PipeConnection> a, b;
    ASSERT_TRUE(make_connected_pipes(a, b));
    std::unique_ptr<PipeConnection> c, d;
    ASSERT_TRUE(make_connected_pipes(c, d)) << "each pair is a pipe of its own";
    const auto one = pattern(100, 1), two = pattern(70000, 2);
    ASSERT_TRUE(a->write_all(one.data(), one.size(), 5000));
    std::vector<std::uint8_t> got(one.size());
    ASSERT_TRUE(b->read_exact(got.data(), got.size(), 5000));
    EXPECT_EQ(got, one);
    std::thread writer([&] { EXPECT_TRUE(b->write_all(two.data(), two.size(), 5000)); });
    got.assign(two.size(), 0);
    EXPECT_TRUE(a->read_exact(got.data(), got.size(), 5000));
    writer.join();
    EXPECT_EQ(got, two);
    a.reset();
    std::uint8_t byte = 0;
    EXPECT_FALSE(b->read_exact(&byte, 1, 1000));
    EXPECT_FALSE(d->read_exact(&byte, 1, 100)) << "c and d are untouched and silent";
}

TEST(Pipe, TickCountIsTheSystemTickCounter) {
    const DWORD before = GetTickCount();
    const std::uint32_t ticks = tick_count_ms();
    const DWORD after = GetTickCount();
    EXPECT_LE(ticks - before, after - before);
}

// ---------------------------------------------------------------------------
// Single instance, signals

TEST(InstanceLock, ASecondHolderFindsItTakenInThisProcessAndAnother) {
    const std::string name = namespaced_name("Global\\ZelvanTTSLockTest");
    bool held_elsewhere = true;
    auto lock = InstanceLock::acquire(name, held_elsewhere);
    ASSERT_NE(lock, nullptr);
    EXPECT_FALSE(held_elsewhere);

    bool again_elsewhere = false;
    EXPECT_EQ(InstanceLock::acquire(name, again_elsewhere), nullptr);
    EXPECT_TRUE(again_elsewhere);
    EXPECT_EQ(run_peer({L"lock", wide(name)}), 2);

    lock.reset();
    EXPECT_EQ(run_peer({L"lock", wide(name)}), 0) << "free again once released";
    auto relock = InstanceLock::acquire(name, held_elsewhere);
    EXPECT_NE(relock, nullptr) << "the peer's lock went with the peer";
}

TEST(NamedSignal, HoldsOneSignalThatTheFirstTestConsumesInAnyProcess) {
    const std::string name = object_name(NamedObject::ConfigChanged) + ".signal";
    auto a = NamedSignal::create_or_open(name);
    auto b = NamedSignal::create_or_open(name);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    platform_test::expect_one_pending_signal(*a, *b);

    EXPECT_EQ(run_peer({L"signal", wide(name)}), 1) << "nothing pending";
    b->set();
    EXPECT_EQ(run_peer({L"signal", wide(name)}), 0);
    EXPECT_FALSE(a->test_and_consume()) << "the other process consumed it";
}

TEST(ServerReady, StaysSetWhileTheServerLivesAndVanishesWithIt) {
    const std::string name = object_name(NamedObject::ServerReady);
    const auto open = [&] { return OpenEventW(SYNCHRONIZE, FALSE, wide(name).c_str()); };
    HANDLE before = open();
    EXPECT_EQ(before, nullptr) << "no server announced yet";
    if (before) CloseHandle(before);

    auto ready = ServerReadySignal::announce(name);
    ASSERT_NE(ready, nullptr);
    HANDLE event = open();
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0) << "a manual-reset event stays set";
    CloseHandle(event);

    ready.reset();
    event = open();
    EXPECT_EQ(event, nullptr) << "gone with the last handle";
    if (event) CloseHandle(event);
}

// ---------------------------------------------------------------------------
// The models root in the registry

// Puts HKLM\SOFTWARE\ZelvanTTS back as it was at the end of the scope.
class RegistryGuard {
public:
    RegistryGuard() {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ | KEY_WOW64_64KEY, &key) !=
            ERROR_SUCCESS) {
            return;
        }
        key_existed_ = true;
        DWORD size = 0;
        if (RegQueryValueExW(key, L"ModelPath", nullptr, &type_, nullptr, &size) == ERROR_SUCCESS) {
            value_.emplace(size, 0);
            RegQueryValueExW(key, L"ModelPath", nullptr, &type_, value_->data(), &size);
        }
        RegCloseKey(key);
    }
    ~RegistryGuard() {
        if (!key_existed_) {
            RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kKey, KEY_WOW64_64KEY, 0);
            return;
        }
        HKEY key = open_for_writing();
        if (!key) return;
        if (value_) {
            RegSetValueExW(key, L"ModelPath", 0, type_, value_->data(),
                           static_cast<DWORD>(value_->size()));
        } else {
            RegDeleteValueW(key, L"ModelPath");
        }
        RegCloseKey(key);
    }

    static HKEY open_for_writing() {
        HKEY key = nullptr;
        return RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0,
                               KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key,
                               nullptr) == ERROR_SUCCESS
                   ? key
                   : nullptr;
    }

    static constexpr const wchar_t* kKey = L"SOFTWARE\\ZelvanTTS";

private:
    bool key_existed_ = false;
    DWORD type_ = 0;
    std::optional<std::vector<BYTE>> value_;
};

TEST(ModelPathSetting, ReadsUpTo520BytesOfTheRegistryValueAsText) {
    RegistryGuard guard;
    const std::wstring long259(259, L'x'), long260(260, L'y');
    struct Case {
        const char* what;
        bool key;    // the key exists
        bool value;  // ModelPath exists
        DWORD type;
        std::vector<BYTE> data;
        std::optional<std::string> expected;
    };
    const auto bytes = [](const std::wstring& text, bool with_nul) {
        const BYTE* begin = reinterpret_cast<const BYTE*>(text.c_str());
        return std::vector<BYTE>(begin, begin + (text.size() + (with_nul ? 1 : 0)) * 2);
    };
    const Case cases[] = {
        {"no key", false, false, REG_SZ, {}, std::nullopt},
        {"key without value", true, false, REG_SZ, {}, std::nullopt},
        {"empty value", true, true, REG_SZ, bytes(L"", true), std::string()},
        {"non-ASCII path", true, true, REG_SZ, bytes(L"C:\\Модели\\голос", true),
         std::string("C:\\Модели\\голос")},
        {"259 units and the NUL fill 520 bytes", true, true, REG_SZ, bytes(long259, true),
         std::string(259, 'x')},
        {"260 units and the NUL do not fit", true, true, REG_SZ, bytes(long260, true),
         std::nullopt},
        {"260 units without a NUL fit", true, true, REG_SZ, bytes(long260, false),
         std::string(260, 'y')},
        {"text ends at the first NUL", true, true, REG_SZ,
         bytes(std::wstring(L"D:\\m\0tail", 9), true), std::string("D:\\m")},
        {"the type is not checked", true, true, REG_BINARY, bytes(L"E:\\bin", false),
         std::string("E:\\bin")},
        {"an odd last byte is dropped", true, true, REG_BINARY, {'A', 0, 'B'}, std::string("A")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RegDeleteKeyExW(HKEY_LOCAL_MACHINE, RegistryGuard::kKey, KEY_WOW64_64KEY, 0);
        if (c.key) {
            HKEY key = RegistryGuard::open_for_writing();
            ASSERT_NE(key, nullptr);
            if (c.value) {
                ASSERT_EQ(RegSetValueExW(key, L"ModelPath", 0, c.type, c.data.data(),
                                         static_cast<DWORD>(c.data.size())),
                          ERROR_SUCCESS);
            }
            RegCloseKey(key);
        }
        EXPECT_EQ(read_model_path_setting(), c.expected);
    }
}

// ---------------------------------------------------------------------------
// Data files written by the build machine's pack tool

#ifdef HOST_PACKED_DATA
constexpr bool kHostPackedData = true;
#else
constexpr bool kHostPackedData = false;
#endif

fs::path data_dir() { return test_bin_dir() / ".." / "data"; }

TEST(DataFiles, CryptoApiReadsWhatTheLinuxPackToolWrote) {
    if (!kHostPackedData) GTEST_SKIP() << "configure with ZELVAN_HOST_PACK to make the files";
    const std::string plain = read_bytes(data_dir() / "plaintext.txt");
    ASSERT_GT(plain.size(), 32768u) << "long enough for several inflate steps";
    ASSERT_NE(plain.size() % 16, 0u);

    // From a folder whose name is not ASCII, by its UTF-8 path.
    ScratchDir scratch("data");
    fs::copy_file(data_dir() / "plain.bin", scratch.path() / path_from_utf8("простой.bin"));
    fs::copy_file(data_dir() / "gzip.bin", scratch.path() / path_from_utf8("сжатый.bin"));
    const std::string plain_path = path_to_utf8(scratch.path() / path_from_utf8("простой.bin"));
    const std::string gzip_path = path_to_utf8(scratch.path() / path_from_utf8("сжатый.bin"));

    std::vector<std::uint8_t> payload;
    ASSERT_TRUE(decrypt_file(plain_path, payload));
    EXPECT_EQ(std::string(payload.begin(), payload.end()), plain);
    EXPECT_EQ(decrypt_gzip_file(gzip_path), plain);

    // The gzip file through the plain reader: the compressed bytes, not the text.
    ASSERT_TRUE(decrypt_file(gzip_path, payload));
    EXPECT_NE(std::string(payload.begin(), payload.end()), plain);
    EXPECT_EQ(payload.at(0), 0x1f);
    EXPECT_EQ(payload.at(1), 0x8b);

    const std::string file = read_bytes(path_from_utf8(plain_path));
    const fs::path changed = scratch.path() / "changed.bin";
    {
        // A bit of the IV flips the same bit of the first block only.
        std::string bytes = file;
        bytes[3] ^= 0x20;
        write_bytes(changed, bytes);
        ASSERT_TRUE(decrypt_file(path_to_utf8(changed), payload));
        std::string expected = plain;
        expected[3] ^= 0x20;
        EXPECT_EQ(std::string(payload.begin(), payload.end()), expected);
    }
    {
        // The last block decides the padding; a flipped bit there spoils it
        // unless the noise happens to end in a valid padding.
        int accepted = 0;
        for (int bit = 0; bit < 8; ++bit) {
            std::string bytes = file;
            bytes[bytes.size() - 1 - bit] ^= static_cast<char>(1 << bit);
            write_bytes(changed, bytes);
            accepted += decrypt_file(path_to_utf8(changed), payload) ? 1 : 0;
        }
        EXPECT_LE(accepted, 1);
    }
    for (std::size_t size : {std::size_t{0}, std::size_t{15}, std::size_t{16}, std::size_t{40}}) {
        write_bytes(changed, file.substr(0, size));
        EXPECT_FALSE(decrypt_file(path_to_utf8(changed), payload)) << size << " bytes";
    }
    EXPECT_FALSE(decrypt_file(path_to_utf8(scratch.path() / "missing.bin"), payload));
    EXPECT_EQ(decrypt_gzip_file(path_to_utf8(scratch.path() / "missing.bin")), "");
}

// ---------------------------------------------------------------------------
// Application data and the settings file

// Puts %APPDATA%\ZelvanTTS\config.json back as it was at the end of the scope.
class SettingsFileGuard {
public:
    explicit SettingsFileGuard(fs::path path) : path_(std::move(path)) {
        if (fs::exists(path_)) saved_ = read_bytes(path_);
    }
    ~SettingsFileGuard() {
        std::error_code ignored;
        if (saved_) {
            write_bytes(path_, *saved_);
        } else {
            fs::remove(path_, ignored);
        }
    }

private:
    fs::path path_;
    std::optional<std::string> saved_;
};

TEST(AppData, IsTheRoamingFolderAndHoldsTheSettingsWithCrLf) {
    wchar_t folder[MAX_PATH] = {};
    ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder), S_OK);
    const auto dir = app_data_dir();
    ASSERT_TRUE(dir.has_value());
    EXPECT_EQ(dir->native(), std::wstring(folder));

    const std::string path = settings_file_path();
    EXPECT_EQ(path_from_utf8(path).native(), std::wstring(folder) + L"\\ZelvanTTS\\config.json");
    SettingsFileGuard guard(path_from_utf8(path));

    SettingsStore store;
    auto watcher = NamedSignal::create_or_open(object_name(NamedObject::ConfigChanged));
    ASSERT_NE(watcher, nullptr);
    while (watcher->test_and_consume()) {
    }
    for (const RuntimeSettings& settings :
         {RuntimeSettings{true, false}, RuntimeSettings{false, true}}) {
        ASSERT_TRUE(store.save(settings));
        const std::string expected =
            std::string("{\r\n  \"enable_accentor\": ") +
            (settings.enable_accentor ? "true" : "false") +
            ",\r\n  \"enable_homosolver\": " + (settings.enable_homosolver ? "true" : "false") +
            ",\r\n  \"enable_reading\": true\r\n}\r\n";
        EXPECT_EQ(read_bytes(path_from_utf8(path)), expected);
        const RuntimeSettings loaded = load_settings_file();
        EXPECT_EQ(loaded.enable_accentor, settings.enable_accentor);
        EXPECT_EQ(loaded.enable_homosolver, settings.enable_homosolver);
        EXPECT_TRUE(watcher->test_and_consume()) << "a save signals the change";
    }

    // Line feeds alone, and a byte-order mark, read the same.
    write_bytes(path_from_utf8(path),
                "\xEF\xBB\xBF{\n\"enable_homosolver\": false,\n\"enable_accentor\": true\n}\n");
    const RuntimeSettings loaded = load_settings_file();
    EXPECT_TRUE(loaded.enable_accentor);
    EXPECT_FALSE(loaded.enable_homosolver);
}

// ---------------------------------------------------------------------------
// Module files, paths, programs, debugger output

TEST(ModuleFile, IsTheProgramOrTheLibraryThatHoldsTheCode) {
    wchar_t program[MAX_PATH * 4] = {};
    ASSERT_NE(GetModuleFileNameW(nullptr, program, MAX_PATH * 4), 0u);
    EXPECT_EQ(running_module_file(), fs::path(program));

    // A copy of the library in a folder with a non-ASCII name.
    ScratchDir scratch("module");
    const fs::path library = scratch.path() / path_from_utf8("проба_модуля.dll");
    fs::copy_file(test_bin_dir() / ".." / "probe" / PROBE_LIBRARY_NAME, library);
    HMODULE module = LoadLibraryW(library.c_str());
    ASSERT_NE(module, nullptr) << GetLastError();
    using Probe = void (*)(char*, size_t);
    // Through void*: a function pointer of one type to another draws a warning.
    auto probe = reinterpret_cast<Probe>(
        reinterpret_cast<void*>(GetProcAddress(module, "zelvan_probe_module_file")));
    ASSERT_NE(probe, nullptr);
    char buffer[4096];
    probe(buffer, sizeof buffer);
    const fs::path reported = path_from_utf8(buffer);
    EXPECT_TRUE(fs::equivalent(reported, library)) << buffer;
    EXPECT_EQ(reported.filename(), library.filename());
    FreeLibrary(module);
}

TEST(Utf8Path, ConvertsBothWaysAndReachesTheFileSystem) {
    struct Case {
        const char* utf8;
        const wchar_t* utf16;
    };
    const Case cases[] = {
        {"plain", L"plain"},
        {"модели", L"\u043c\u043e\u0434\u0435\u043b\u0438"},
        {"ქართული", L"\u10e5\u10d0\u10e0\u10d7\u10e3\u10da\u10d8"},
        {"日本語", L"\u65e5\u672c\u8a9e"},
        {"ёлка 🎄", L"\u0451\u043b\u043a\u0430 \xd83c\xdf84"},  // a pair of surrogates
    };
    ScratchDir scratch("utf8");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.utf8);
        const fs::path path = path_from_utf8(c.utf8);
        EXPECT_EQ(path.native(), std::wstring(c.utf16));
        EXPECT_EQ(path_to_utf8(path), c.utf8);

        const std::string dir = path_to_utf8(scratch.path()) + "\\" + c.utf8;
        fs::create_directory(path_from_utf8(dir));
        { std::ofstream(path_from_utf8(dir + "\\файл.txt")) << "x"; }
        const std::wstring expected =
            scratch.path().native() + L"\\" + c.utf16 + L"\\\u0444\u0430\u0439\u043b.txt";
        EXPECT_NE(GetFileAttributesW(expected.c_str()), INVALID_FILE_ATTRIBUTES);
    }
    EXPECT_EQ(path_to_utf8(fs::path()), "");
    EXPECT_EQ(path_from_utf8("").native(), L"");
}

TEST(ProcessLaunch, StartsAProgramThatGetsItsArgumentsUnchanged) {
    ScratchDir scratch("launch");
    const fs::path out = scratch.path() / path_from_utf8("аргументы.txt");
    const std::vector<std::string> args = {
        "plain",         "with blank", "",
        "quote\"inside", "trailing\\", "back\\\\slashes\\\"quote",
        "юникод ☃",      "\"quoted\"", "tab\there"};
    std::vector<std::string> full = {"args", path_to_utf8(out)};
    full.insert(full.end(), args.begin(), args.end());
    ASSERT_TRUE(launch_detached(test_bin_dir() / PEER_PROGRAM_NAME, full));
    // The launch does not wait; the peer writes its file when it is done.
    for (int i = 0; i < 600 && !fs::exists(out); ++i) Sleep(100);
    ASSERT_TRUE(fs::exists(out));
    const std::string written = read_bytes(out);
    std::vector<std::string> got;
    std::size_t start = 0;
    for (std::size_t end; (end = written.find('\0', start)) != std::string::npos; start = end + 1) {
        got.push_back(written.substr(start, end - start));
    }
    EXPECT_EQ(got, args);

    EXPECT_FALSE(launch_detached(scratch.path() / "missing.exe", {}));
}

TEST(Console, HidingLeavesNoVisibleConsoleWindow) {
    // A peer with a console window of its own, which it then hides.
    const int code = run_peer({L"console"}, CREATE_NEW_CONSOLE);
    if (code == 4) GTEST_SKIP() << "the system gave the new console no visible window";
    EXPECT_EQ(code, 0);
}

// Debugger output is an exception that a debugger (or this handler) sees
// before the system's own handler takes it.
std::mutex debug_lock;
std::vector<std::string> debug_texts;

LONG CALLBACK catch_debug_text(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    if (record->ExceptionCode == static_cast<DWORD>(DBG_PRINTEXCEPTION_C) &&
        record->NumberParameters >= 2) {
        const auto length = static_cast<std::size_t>(record->ExceptionInformation[0]);
        const auto* text = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
        std::lock_guard<std::mutex> guard(debug_lock);
        // The length counts the terminating NUL.
        debug_texts.emplace_back(text, length > 0 ? length - 1 : 0);
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

TEST(DebugOutput, GoesToTheDebuggerAsItIs) {
    PVOID handler = AddVectoredExceptionHandler(1, catch_debug_text);
    ASSERT_NE(handler, nullptr);
    debug_output("[Accentor rus] Before: мама\n");
    debug_output("[Accentor rus] After: ма+ма\n");
    RemoveVectoredExceptionHandler(handler);
    std::lock_guard<std::mutex> guard(debug_lock);
    EXPECT_EQ(debug_texts, (std::vector<std::string>{"[Accentor rus] Before: мама\n",
                                                     "[Accentor rus] After: ма+ма\n"}));
}

}  // namespace
}  // namespace zelvan_tts
