// What the settings dialog shows and does, apart from any window toolkit: the
// GTK window on Linux and the Win32 dialog both drive their controls from
// these texts, this state and these two steps.
#pragma once

#include <string>

namespace zelvan_tts {

class SettingsStore;

// The dialog's own texts, identical on every platform.
inline constexpr char kDialogTitle[] = "Zelvan TTS Configuration";
inline constexpr char kGroupText[] = "Text Processing";
inline constexpr char kAccentorText[] =
    "Enable stress marks (accentor) for Russian / Belarusian / Ukrainian";
inline constexpr char kHomosolverText[] = "Enable homograph resolver for Russian (homosolver)";
inline constexpr char kReadingText[] =
    "Read numbers, units and abbreviations as a person would (Russian)";
inline constexpr char kNoteText[] =
    "Changes take effect immediately without restarting the application.";
inline constexpr char kSaveFailedText[] = "Error: could not save settings.";
inline constexpr char kSaveText[] = "Save";
inline constexpr char kCancelText[] = "Cancel";

// The dialog's controls that carry state: the three check boxes and the status
// line under the note.
struct SettingsDialogState {
    bool accentor_checked = true;
    bool homosolver_checked = true;
    bool reading_checked = true;
    std::string status;  // empty until a save fails
};

// The state to show when the dialog opens: the store's current settings
// (which consumes a pending change signal, as every reader does).
SettingsDialogState open_settings_dialog(SettingsStore& store);

// Save: writes the boxes through the store, which also signals the running
// engines. True when the dialog is to close; false when the file could not be
// written, and then the status line holds kSaveFailedText and the dialog stays
// open so that the user can retry or cancel. Cancel needs no step: it closes
// the dialog and writes nothing.
bool save_settings_dialog(SettingsDialogState& state, SettingsStore& store);

}  // namespace zelvan_tts
