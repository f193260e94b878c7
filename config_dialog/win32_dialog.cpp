// zelvan_tts_config on Windows: dialog resource IDD_SETTINGS, driven by the
// toolkit-free model that the GTK window shares.

#include "config_dialog/resource.h"
#include "config_dialog/settings_dialog.h"
#include "core/settings.h"

#include <windows.h>

#include <string>

namespace zelvan_tts {
namespace {

std::wstring utf16(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), size);
    return text;
}

void show_settings(HWND dialog, const SettingsDialogState& state) {
    CheckDlgButton(dialog, IDC_ACCENTOR, state.accentor_checked ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_HOMOSOLVER, state.homosolver_checked ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_READING, state.reading_checked ? BST_CHECKED : BST_UNCHECKED);
}

void save(HWND dialog) {
    SettingsDialogState state;
    state.accentor_checked = IsDlgButtonChecked(dialog, IDC_ACCENTOR) == BST_CHECKED;
    state.homosolver_checked = IsDlgButtonChecked(dialog, IDC_HOMOSOLVER) == BST_CHECKED;
    state.reading_checked = IsDlgButtonChecked(dialog, IDC_READING) == BST_CHECKED;
    if (save_settings_dialog(state, SettingsStore::instance())) {
        EndDialog(dialog, IDOK);
        return;
    }
    // Nothing else ever changes the status line, so the error stays until
    // the dialog closes; the user may retry or cancel.
    SetDlgItemTextW(dialog, IDC_STATUS, utf16(state.status).c_str());
}

// Fills the two check boxes from the settings store when the dialog opens;
// Save (button, Enter) writes them and ends the dialog with IDOK, or shows
// the error line and stays open; Cancel (button, Escape, close box) ends it
// with IDCANCEL and writes nothing. Every other message gets default handling.
INT_PTR CALLBACK settings_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            show_settings(dialog, open_settings_dialog(SettingsStore::instance()));
            return TRUE;  // the focus goes to the first tab stop, the first box
        case WM_COMMAND:
            // The dialog manager turns Enter into IDOK, and Escape and the
            // close box into IDCANCEL.
            switch (LOWORD(wparam)) {
                case IDOK:
                    save(dialog);
                    return TRUE;
                case IDCANCEL:
                    EndDialog(dialog, IDCANCEL);
                    return TRUE;
                default:
                    return FALSE;
            }
        default:
            return FALSE;
    }
}

}  // namespace
}  // namespace zelvan_tts

// The program takes no arguments and ignores any it is given.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    SetProcessDPIAware();
    const INT_PTR result = DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_SETTINGS), nullptr,
                                           zelvan_tts::settings_dialog_proc, 0);
    // A dialog that could not be shown (no desktop to show it on, say) is a
    // failure, not a cancel.
    return result == -1 ? 1 : 0;
}
