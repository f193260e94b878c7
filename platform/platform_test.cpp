#include "platform/app_data.h"
#include "platform/local_pipe.h"
#include "platform/model_path_setting.h"
#include "platform/module_path.h"
#include "platform/named_signal.h"
#include "platform/named_signal_checks.h"
#include "platform/named_signal_cleanup.h"
#include "platform/object_names.h"
#include "platform/server_ready.h"
#include "platform/utf8_path.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <semaphore.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>

namespace zelvan_tts {
namespace {

// Sets or unsets an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~ScopedEnv() { old_.empty() ? unsetenv(name_) : setenv(name_, old_.c_str(), 1); }

private:
    const char* name_;
    std::string old_;
};

TEST(ObjectNames, AppendTheNamespaceWhenSet) {
    const std::string uid = std::to_string(getuid());
    {
        ScopedEnv env("ZELVAN_TTS_NAMESPACE", nullptr);
        EXPECT_EQ(object_name(NamedObject::Pipe), "@ZelvanTTSBridge");
        EXPECT_EQ(object_name(NamedObject::ServerReady), "@ZelvanTTSBridge");
        EXPECT_EQ(object_name(NamedObject::ServerMutex), "@ZelvanTTSServerMutex");
        EXPECT_EQ(object_name(NamedObject::ConfigChanged), "/ZelvanTTSConfigChanged." + uid);
    }
    {
        ScopedEnv env("ZELVAN_TTS_NAMESPACE", "");
        EXPECT_EQ(object_name(NamedObject::Pipe), "@ZelvanTTSBridge");
    }
    {
        ScopedEnv env("ZELVAN_TTS_NAMESPACE", "t1");
        EXPECT_EQ(object_name(NamedObject::Pipe), "@ZelvanTTSBridge.t1");
        EXPECT_EQ(object_name(NamedObject::ServerMutex), "@ZelvanTTSServerMutex.t1");
        EXPECT_EQ(object_name(NamedObject::ConfigChanged),
                  "/ZelvanTTSConfigChanged." + uid + ".t1");
        EXPECT_EQ(namespaced_name("x"), "x.t1");
    }
}

TEST(ModelPathSetting, UnsetIsAbsentAndEmptyIsAnEmptyPath) {
    {
        ScopedEnv env("ZELVAN_TTS_MODEL_PATH", nullptr);
        EXPECT_FALSE(read_model_path_setting().has_value());
    }
    {
        ScopedEnv env("ZELVAN_TTS_MODEL_PATH", "");
        EXPECT_EQ(read_model_path_setting(), std::optional<std::string>(""));
    }
    {
        ScopedEnv env("ZELVAN_TTS_MODEL_PATH", "/opt/модели");
        EXPECT_EQ(read_model_path_setting(), std::optional<std::string>("/opt/модели"));
    }
}

TEST(Utf8Path, NonAsciiPathsReachTheFileSystem) {
    const std::string dir = path_to_utf8(std::filesystem::temp_directory_path()) + "/zelvan_путь_" +
                            std::to_string(getpid());
    const auto native = path_from_utf8(dir);
    std::filesystem::create_directories(native);
    { std::ofstream(path_from_utf8(dir + "/файл.bin")) << "x"; }
    EXPECT_TRUE(std::filesystem::exists(native / path_from_utf8("файл.bin")));
    EXPECT_EQ(path_to_utf8(native / "a"), dir + "/a");
    std::filesystem::remove_all(native);
}

TEST(ModuleFile, IsTheProgramOrTheLibraryThatHoldsTheCode) {
    EXPECT_EQ(running_module_file(), std::filesystem::canonical("/proc/self/exe"));

    void* library = dlopen(PROBE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    using Probe = void (*)(char*, size_t);
    auto probe = reinterpret_cast<Probe>(dlsym(library, "zelvan_probe_module_file"));
    ASSERT_NE(probe, nullptr);
    char buffer[4096];
    probe(buffer, sizeof buffer);
    EXPECT_EQ(std::filesystem::path(buffer), std::filesystem::canonical(PROBE_LIBRARY));
    dlclose(library);
}

TEST(PipeListener, OneSocketTakesClientsOneAfterAnother) {
    const std::string name = namespaced_name("@ZelvanTTSListenerTest." + std::to_string(getpid()));
    int error = -1;
    auto listener = PipeListener::listen(name, error);
    ASSERT_NE(listener, nullptr) << error;
    EXPECT_EQ(error, 0);
    int taken = 0;
    EXPECT_EQ(PipeListener::listen(name, taken), nullptr);
    EXPECT_EQ(taken, EADDRINUSE) << "the system's error number";
    EXPECT_EQ(PipeListener::listen("@", taken), nullptr);
    EXPECT_EQ(taken, EINVAL);

    // Readiness is the listening socket itself: nothing more to announce.
    EXPECT_NE(ServerReadySignal::announce(object_name(NamedObject::ServerReady)), nullptr);

    EXPECT_EQ(listener->accept(50, error), nullptr);
    EXPECT_EQ(error, 0) << "a time-out is no failure";
    for (int client = 0; client < 2; ++client) {
        ASSERT_TRUE(listener->prepare(error));
        EXPECT_TRUE(listener->prepared());
        auto pipe = connect_pipe(name);
        ASSERT_NE(pipe, nullptr);
        auto served = listener->accept(5000, error);
        ASSERT_NE(served, nullptr);
        const char byte = static_cast<char>('a' + client);
        ASSERT_TRUE(pipe->write_all(&byte, 1, 5000));
        char got = 0;
        ASSERT_TRUE(served->read_exact(&got, 1, 5000));
        EXPECT_EQ(got, byte);
        EXPECT_TRUE(listener->prepared()) << "the socket outlives each client";
    }
    listener.reset();
    EXPECT_EQ(connect_pipe(name), nullptr);
}

TEST(NamedSignal, RemovalLeavesNoNameBehindAndSparesTheUsersSignal) {
    const std::string name = namespaced_name("/ZelvanTTSRemovalTest." + std::to_string(getpid()));
    auto a = NamedSignal::create_or_open(name);
    ASSERT_NE(a, nullptr);
    a->set();
    NamedSignal::remove(name);
    EXPECT_EQ(sem_open(name.c_str(), 0), SEM_FAILED) << "the name is gone";
    EXPECT_TRUE(a->test_and_consume()) << "an open handle keeps working";

    // Tests remove the change signal of a namespace, never the one without.
    const std::string uid = std::to_string(getuid());
    const std::vector<std::pair<const char*, std::string>> cases = {
        {nullptr, ""}, {"", ""}, {"t1", "/ZelvanTTSConfigChanged." + uid + ".t1"}};
    for (const auto& [ns, removable] : cases) {
        ScopedEnv env("ZELVAN_TTS_NAMESPACE", ns);
        EXPECT_EQ(test_support::removable_change_signal(), removable) << (ns ? ns : "(unset)");
    }
}

TEST(AppData, XdgConfigHomeThenHomeThenNothing) {
    ScopedEnv xdg("XDG_CONFIG_HOME", "/x/config");
    ScopedEnv home("HOME", "/home/u");
    EXPECT_EQ(app_data_dir(), std::filesystem::path("/x/config"));
    setenv("XDG_CONFIG_HOME", "", 1);
    EXPECT_EQ(app_data_dir(), std::filesystem::path("/home/u/.config"));
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(app_data_dir(), std::filesystem::path("/home/u/.config"));
    unsetenv("HOME");
    EXPECT_FALSE(app_data_dir().has_value());
}

TEST(NamedSignal, HoldsAtMostOnePendingSignalSharedByName) {
    const std::string name = namespaced_name("/ZelvanTTSSignalTest." + std::to_string(getpid()));
    auto a = NamedSignal::create_or_open(name);
    auto b = NamedSignal::create_or_open(name);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    platform_test::expect_one_pending_signal(*a, *b);

    // Another process sees the same signal.
    a->set();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto c = NamedSignal::create_or_open(name);
        _exit(c && c->test_and_consume() ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_FALSE(a->test_and_consume()) << "the other process consumed it";
    NamedSignal::remove(name);

    EXPECT_EQ(NamedSignal::create_or_open("no/slashes/allowed"), nullptr);
}

}  // namespace
}  // namespace zelvan_tts
