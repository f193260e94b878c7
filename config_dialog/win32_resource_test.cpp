// The resources of the built zelvan_tts_config.exe as Windows reads them:
// the dialog template, its language, the manifest, and the subsystem in the
// program's header. The program is loaded as a data file, so nothing runs.

#include "config_dialog/resource.h"
#include "config_dialog/settings_dialog.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace zelvan_tts {
namespace {

namespace fs = std::filesystem;

// The copy of the program beside this test.
fs::path program_file() {
    wchar_t buffer[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    return fs::path(buffer).parent_path() / "zelvan_tts_config.exe";
}

class ProgramResources : public ::testing::Test {
protected:
    void SetUp() override {
        module_ = LoadLibraryExW(program_file().c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module_, nullptr) << "cannot load " << program_file();
    }
    void TearDown() override {
        if (module_ != nullptr) FreeLibrary(module_);
    }

    // The bytes of one resource, empty when there is none. Without a
    // language, whichever the loader would pick.
    std::vector<uint8_t> resource(const wchar_t* type, const wchar_t* name,
                                  WORD language = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL)) const {
        HRSRC found = FindResourceExW(module_, type, name, language);
        if (found == nullptr) return {};
        HGLOBAL loaded = LoadResource(module_, found);
        const auto* data = static_cast<const uint8_t*>(LockResource(loaded));
        if (data == nullptr) return {};
        return std::vector<uint8_t>(data, data + SizeofResource(module_, found));
    }

    HMODULE module_ = nullptr;
};

BOOL CALLBACK add_language(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR list) {
    reinterpret_cast<std::vector<WORD>*>(list)->push_back(language);
    return TRUE;
}

BOOL CALLBACK add_name(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR list) {
    // Only numbered resources are expected; a named one shows as 0.
    reinterpret_cast<std::vector<uintptr_t>*>(list)->push_back(
        IS_INTRESOURCE(name) ? reinterpret_cast<uintptr_t>(name) : 0);
    return TRUE;
}

std::string narrow(const std::wstring& text) {
    std::string result;
    for (const wchar_t c : text) result += c < 0x80 ? static_cast<char>(c) : '?';
    return result;
}

// Reads an extended dialog template (DLGTEMPLATEEX and its items) field by
// field; every read is bounds-checked, and a short or malformed template
// sets `failed`.
class TemplateReader {
public:
    explicit TemplateReader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}

    uint16_t word() {
        uint16_t value = 0;
        read(&value, sizeof value);
        return value;
    }
    uint32_t dword() {
        uint32_t value = 0;
        read(&value, sizeof value);
        return value;
    }
    int16_t coordinate() { return static_cast<int16_t>(word()); }
    uint8_t byte() {
        uint8_t value = 0;
        read(&value, sizeof value);
        return value;
    }
    std::wstring text() {
        std::wstring result;
        for (uint16_t c = word(); c != 0 && !failed; c = word()) result += static_cast<wchar_t>(c);
        return result;
    }
    // A name or an ordinal (0xFFFF and a number), given as "#<number>".
    std::wstring name_or_ordinal() {
        const uint16_t first = word();
        if (first == 0) return {};
        if (first == 0xFFFF) return L"#" + std::to_wstring(word());
        std::wstring result(1, static_cast<wchar_t>(first));
        return result + text();
    }
    void align_to_dword() { offset_ = (offset_ + 3) & ~size_t{3}; }
    void skip(size_t count) {
        offset_ += count;
        if (offset_ > bytes_.size()) failed = true;
    }

    bool failed = false;

private:
    void read(void* out, size_t count) {
        if (failed || offset_ + count > bytes_.size()) {
            failed = true;
            return;
        }
        std::memcpy(out, bytes_.data() + offset_, count);
        offset_ += count;
    }

    const std::vector<uint8_t>& bytes_;
    size_t offset_ = 0;
};

struct Control {
    uint32_t help_id, ex_style, style;
    int x, y, width, height;
    int32_t id;
    std::string window_class;  // "Button", "Static" for the predefined ordinals
    std::string text;
    uint16_t extra_bytes;
};

struct Dialog {
    uint16_t version, signature;
    uint32_t help_id, ex_style, style;
    int x, y, width, height;
    std::string menu, window_class, caption;
    uint16_t point_size, weight;
    uint8_t italic, charset;
    std::string typeface;
    std::vector<Control> controls;
};

std::string class_name(const std::wstring& raw) {
    // The predefined classes by ordinal, or by name in any case.
    static const struct {
        const wchar_t* ordinal;
        const char* name;
    } predefined[] = {{L"#128", "Button"},  {L"#129", "Edit"},      {L"#130", "Static"},
                      {L"#131", "ListBox"}, {L"#132", "ScrollBar"}, {L"#133", "ComboBox"}};
    for (const auto& known : predefined) {
        if (raw == known.ordinal ||
            _wcsicmp(raw.c_str(),
                     std::wstring(known.name, known.name + std::strlen(known.name)).c_str()) == 0) {
            return known.name;
        }
    }
    return narrow(raw);
}

bool parse_dialog(const std::vector<uint8_t>& bytes, Dialog& dialog) {
    TemplateReader in(bytes);
    dialog.version = in.word();
    dialog.signature = in.word();
    dialog.help_id = in.dword();
    dialog.ex_style = in.dword();
    dialog.style = in.dword();
    const uint16_t count = in.word();
    dialog.x = in.coordinate();
    dialog.y = in.coordinate();
    dialog.width = in.coordinate();
    dialog.height = in.coordinate();
    dialog.menu = narrow(in.name_or_ordinal());
    dialog.window_class = narrow(in.name_or_ordinal());
    dialog.caption = narrow(in.text());
    if (dialog.style & (DS_SETFONT | DS_SHELLFONT)) {
        dialog.point_size = in.word();
        dialog.weight = in.word();
        dialog.italic = in.byte();
        dialog.charset = in.byte();
        dialog.typeface = narrow(in.text());
    }
    for (uint16_t i = 0; i < count && !in.failed; ++i) {
        in.align_to_dword();
        Control control;
        control.help_id = in.dword();
        control.ex_style = in.dword();
        control.style = in.dword();
        control.x = in.coordinate();
        control.y = in.coordinate();
        control.width = in.coordinate();
        control.height = in.coordinate();
        control.id = static_cast<int32_t>(in.dword());
        control.window_class = class_name(in.name_or_ordinal());
        control.text = narrow(in.name_or_ordinal());
        control.extra_bytes = in.word();
        in.skip(control.extra_bytes);
        dialog.controls.push_back(control);
    }
    return !in.failed;
}

constexpr WORD kEnglishUs = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

TEST_F(ProgramResources, SettingsDialogTemplate) {
    std::vector<WORD> languages;
    EnumResourceLanguagesW(module_, MAKEINTRESOURCEW(5), MAKEINTRESOURCEW(IDD_SETTINGS),
                           add_language, reinterpret_cast<LONG_PTR>(&languages));
    EXPECT_EQ(languages, std::vector<WORD>{1033}) << "one template, in US English";

    const std::vector<uint8_t> bytes =
        resource(MAKEINTRESOURCEW(5), MAKEINTRESOURCEW(IDD_SETTINGS), kEnglishUs);
    ASSERT_FALSE(bytes.empty()) << "no dialog resource 101";
    Dialog dialog;
    ASSERT_TRUE(parse_dialog(bytes, dialog)) << "malformed template";

    EXPECT_EQ(dialog.version, 1);
    EXPECT_EQ(dialog.signature, 0xFFFF) << "an extended template";
    EXPECT_EQ(dialog.help_id, 0u);
    EXPECT_EQ(dialog.ex_style, 0u);
    EXPECT_EQ(dialog.style, static_cast<uint32_t>(WS_POPUP | WS_CAPTION | WS_SYSMENU |
                                                  DS_MODALFRAME | DS_CENTER | DS_SETFONT));
    EXPECT_EQ(dialog.x, 0);
    EXPECT_EQ(dialog.y, 0);
    EXPECT_EQ(dialog.width, 280);
    EXPECT_EQ(dialog.height, 131);
    EXPECT_EQ(dialog.menu, "");
    EXPECT_EQ(dialog.window_class, "");
    EXPECT_EQ(dialog.caption, kDialogTitle);
    EXPECT_EQ(dialog.point_size, 9);
    EXPECT_EQ(dialog.weight, FW_NORMAL);
    EXPECT_EQ(dialog.italic, 0);
    EXPECT_EQ(dialog.charset, DEFAULT_CHARSET);
    EXPECT_EQ(dialog.typeface, "Segoe UI");

    constexpr uint32_t kShown = WS_CHILD | WS_VISIBLE;
    constexpr uint32_t kText = kShown | SS_LEFT | WS_GROUP;
    constexpr uint32_t kCheckBox = kShown | BS_AUTOCHECKBOX | WS_TABSTOP;
    const struct {
        int32_t id;
        const char* window_class;
        uint32_t style;
        const char* text;
        int x, y, width, height;
    } expected[] = {
        {-1, "Static", kText, kGroupText, 10, 8, 260, 10},
        {IDC_ACCENTOR, "Button", kCheckBox, kAccentorText, 10, 22, 260, 12},
        {IDC_HOMOSOLVER, "Button", kCheckBox, kHomosolverText, 10, 38, 260, 12},
        {IDC_READING, "Button", kCheckBox, kReadingText, 10, 54, 260, 12},
        {-1, "Static", kText, kNoteText, 10, 72, 260, 10},
        {IDC_STATUS, "Static", kText, "", 10, 86, 260, 10},
        {IDOK, "Button", kShown | BS_DEFPUSHBUTTON | WS_TABSTOP, kSaveText, 168, 106, 50, 14},
        {IDCANCEL, "Button", kShown | BS_PUSHBUTTON | WS_TABSTOP, kCancelText, 222, 106, 50, 14},
    };
    ASSERT_EQ(dialog.controls.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const Control& control = dialog.controls[i];
        SCOPED_TRACE(testing::Message() << "control " << i << " (" << expected[i].text << ")");
        EXPECT_EQ(control.id, expected[i].id);
        EXPECT_EQ(control.window_class, expected[i].window_class);
        EXPECT_EQ(control.style, expected[i].style)
            << std::hex << "0x" << control.style << " instead of 0x" << expected[i].style;
        EXPECT_EQ(control.ex_style, 0u);
        EXPECT_EQ(control.help_id, 0u);
        EXPECT_EQ(control.text, expected[i].text);
        EXPECT_EQ(control.x, expected[i].x);
        EXPECT_EQ(control.y, expected[i].y);
        EXPECT_EQ(control.width, expected[i].width);
        EXPECT_EQ(control.height, expected[i].height);
        EXPECT_EQ(control.extra_bytes, 0);
    }
}

TEST_F(ProgramResources, ManifestRunsAsInvokerWithClassicControls) {
    std::vector<uintptr_t> manifests;
    EnumResourceNamesW(module_, MAKEINTRESOURCEW(24), add_name,
                       reinterpret_cast<LONG_PTR>(&manifests));
    EXPECT_EQ(manifests, std::vector<uintptr_t>{1}) << "exactly one manifest: the program's, id 1";

    const std::vector<uint8_t> bytes = resource(MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1));
    ASSERT_FALSE(bytes.empty()) << "no manifest resource of type 24, id 1";
    const std::string manifest(bytes.begin(), bytes.end());
    EXPECT_NE(manifest.find(R"(<requestedExecutionLevel level="asInvoker" uiAccess="false")"),
              std::string::npos)
        << manifest;
    EXPECT_EQ(manifest.find("Common-Controls"), std::string::npos)
        << "a common-controls dependency would replace the classic look";
    EXPECT_EQ(manifest.find("dependentAssembly"), std::string::npos) << manifest;

    // The loader accepts it: an activation context can be built from it.
    const std::wstring file = program_file().wstring();
    ACTCTXW context{};
    context.cbSize = sizeof context;
    context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    context.lpSource = file.c_str();
    context.lpResourceName = MAKEINTRESOURCEW(1);
    HANDLE handle = CreateActCtxW(&context);
    EXPECT_NE(handle, INVALID_HANDLE_VALUE) << "error " << GetLastError();
    if (handle != INVALID_HANDLE_VALUE) ReleaseActCtx(handle);
}

// A windowed program: started from a console it opens no console window.
TEST(ProgramImage, IsAWindowsGuiProgram) {
    std::ifstream in(program_file(), std::ios::binary);
    ASSERT_TRUE(in) << program_file();
    IMAGE_DOS_HEADER dos{};
    in.read(reinterpret_cast<char*>(&dos), sizeof dos);
    ASSERT_EQ(dos.e_magic, IMAGE_DOS_SIGNATURE);
    in.seekg(dos.e_lfanew);
    IMAGE_NT_HEADERS64 nt{};
    in.read(reinterpret_cast<char*>(&nt), sizeof nt);
    ASSERT_TRUE(in);
    ASSERT_EQ(nt.Signature, DWORD{IMAGE_NT_SIGNATURE});
    EXPECT_EQ(nt.FileHeader.Machine, IMAGE_FILE_MACHINE_AMD64);
    EXPECT_EQ(nt.OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
}

}  // namespace
}  // namespace zelvan_tts
