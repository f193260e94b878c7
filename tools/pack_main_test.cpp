#include "core/data_files.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace zelvan_tts {
namespace {

namespace fs = std::filesystem;

struct PackRun {
    int exit_code;
    std::string err;
};

class PackTool : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("zelvan pack " + std::to_string(getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    static std::string quote(const std::string& s) { return "'" + s + "'"; }

    PackRun pack(const std::string& args) const {
        const std::string err_file = path("stderr.txt");
        const std::string command =
            std::string(PACK_PROGRAM) + " " + args + " 2>" + quote(err_file);
        const int status = std::system(command.c_str());
        std::ifstream in(err_file);
        std::stringstream err;
        err << in.rdbuf();
        fs::remove(err_file);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, err.str()};
    }

    fs::path dir_;
};

TEST_F(PackTool, PacksPlainAndGzipPayloadsTheReadersAccept) {
    const std::string payload = "токен\n[PAD]\n" + std::string(70000, 'z');
    std::ofstream(path("in.txt"), std::ios::binary) << payload;

    ASSERT_EQ(pack(quote(path("in.txt")) + " " + quote(path("out.bin"))).exit_code, 0);
    std::vector<std::uint8_t> plain;
    ASSERT_TRUE(decrypt_file(path("out.bin"), plain));
    EXPECT_EQ(std::string(plain.begin(), plain.end()), payload);

    ASSERT_EQ(pack("--gzip " + quote(path("in.txt")) + " " + quote(path("out.gz.bin"))).exit_code,
              0);
    EXPECT_EQ(decrypt_gzip_file(path("out.gz.bin")), payload);
    EXPECT_LT(fs::file_size(path("out.gz.bin")), fs::file_size(path("out.bin")));

    // A fresh IV each time: the same input never gives the same file.
    ASSERT_EQ(pack(quote(path("in.txt")) + " " + quote(path("again.bin"))).exit_code, 0);
    std::ifstream a(path("out.bin"), std::ios::binary), b(path("again.bin"), std::ios::binary);
    std::stringstream sa, sb;
    sa << a.rdbuf();
    sb << b.rdbuf();
    EXPECT_NE(sa.str(), sb.str());
}

TEST_F(PackTool, FailsWithOneLineAndLeavesOutputUntouched) {
    std::ofstream(path("in.txt")) << "data";
    std::ofstream(path("keep.bin")) << "previous";

    struct Case {
        const char* name;
        std::string args;
        std::string message_start;
    };
    const Case cases[] = {
        {"missing input", quote(path("nope.txt")) + " " + quote(path("keep.bin")),
         "zelvan_tts_pack: cannot read " + path("nope.txt")},
        {"directory as input", quote(dir_.string()) + " " + quote(path("keep.bin")),
         "zelvan_tts_pack: cannot read " + dir_.string()},
        {"unwritable output", quote(path("in.txt")) + " " + quote(path("no/dir/out.bin")),
         "zelvan_tts_pack: cannot write " + path("no/dir/out.bin")},
        {"directory as output", quote(path("in.txt")) + " " + quote(dir_.string()),
         "zelvan_tts_pack: cannot write " + dir_.string()},
        {"one file only", quote(path("in.txt")), "zelvan_tts_pack: usage:"},
        {"unknown option", "--zip " + quote(path("in.txt")) + " " + quote(path("keep.bin")),
         "zelvan_tts_pack: unknown option --zip"},
    };
    for (const Case& c : cases) {
        const PackRun run = pack(c.args);
        EXPECT_EQ(run.exit_code, 1) << c.name;
        EXPECT_EQ(run.err.rfind(c.message_start, 0), 0u) << c.name << ": " << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << c.name;
    }
    std::ifstream keep(path("keep.bin"));
    std::string kept;
    std::getline(keep, kept);
    EXPECT_EQ(kept, "previous");
    EXPECT_FALSE(fs::exists(path("no")));
    for (const auto& entry : fs::directory_iterator(dir_)) {
        EXPECT_EQ(entry.path().extension(), entry.path().filename() == "in.txt" ? ".txt" : ".bin");
    }
}

}  // namespace
}  // namespace zelvan_tts
