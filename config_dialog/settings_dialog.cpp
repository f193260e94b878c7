#include "config_dialog/settings_dialog.h"

#include "core/settings.h"

namespace zelvan_tts {

SettingsDialogState open_settings_dialog(SettingsStore& store) {
    const RuntimeSettings settings = store.current();
    SettingsDialogState state;
    state.accentor_checked = settings.enable_accentor;
    state.homosolver_checked = settings.enable_homosolver;
    state.reading_checked = settings.enable_reading;
    return state;
}

bool save_settings_dialog(SettingsDialogState& state, SettingsStore& store) {
    RuntimeSettings settings;
    settings.enable_accentor = state.accentor_checked;
    settings.enable_homosolver = state.homosolver_checked;
    settings.enable_reading = state.reading_checked;
    if (store.save(settings)) return true;
    // Stays until the dialog closes, also over a later successful save.
    state.status = kSaveFailedText;
    return false;
}

}  // namespace zelvan_tts
