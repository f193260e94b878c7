// zelvan_tts_config on Linux: the settings dialog as a GTK 3 window with the
// texts, check boxes, status line and buttons of the Windows dialog.

#include "config_dialog/settings_dialog.h"
#include "core/settings.h"

#include <gtk/gtk.h>

#include <cstdio>

namespace zelvan_tts {
namespace {

// Spacing in pixels, roughly the Windows dialog's units at its 9-point font.
constexpr int kMargin = 16;
constexpr int kButtonWidth = 88;

struct DialogWindow {
    GtkWidget* window = nullptr;
    GtkWidget* accentor_box = nullptr;
    GtkWidget* homosolver_box = nullptr;
    GtkWidget* reading_box = nullptr;
    GtkWidget* status_line = nullptr;
    SettingsDialogState state;
};

GtkWidget* left_aligned_label(const char* text) {
    GtkWidget* label = gtk_label_new(text);
    gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
    return label;
}

GtkWidget* check_box(const char* text, bool checked) {
    GtkWidget* box = gtk_check_button_new_with_label(text);
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(box), checked);
    return box;
}

void on_save(GtkButton*, gpointer data) {
    auto* dialog = static_cast<DialogWindow*>(data);
    dialog->state.accentor_checked =
        gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(dialog->accentor_box));
    dialog->state.homosolver_checked =
        gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(dialog->homosolver_box));
    dialog->state.reading_checked =
        gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(dialog->reading_box));
    if (save_settings_dialog(dialog->state, SettingsStore::instance())) {
        gtk_main_quit();
        return;
    }
    gtk_label_set_text(GTK_LABEL(dialog->status_line), dialog->state.status.c_str());
}

void on_cancel(GtkButton*, gpointer) { gtk_main_quit(); }

// The close box cancels; the window is destroyed after the main loop ends.
gboolean on_delete(GtkWidget*, GdkEvent*, gpointer) {
    gtk_main_quit();
    return TRUE;
}

gboolean on_key_press(GtkWidget*, GdkEventKey* event, gpointer) {
    if (event->keyval != GDK_KEY_Escape) return FALSE;
    gtk_main_quit();
    return TRUE;
}

void build_window(DialogWindow& dialog) {
    dialog.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWindow* window = GTK_WINDOW(dialog.window);
    gtk_window_set_title(window, kDialogTitle);
    gtk_window_set_resizable(window, FALSE);
    gtk_window_set_position(window, GTK_WIN_POS_CENTER);
    gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_DIALOG);
    g_signal_connect(dialog.window, "delete-event", G_CALLBACK(on_delete), nullptr);
    g_signal_connect(dialog.window, "key-press-event", G_CALLBACK(on_key_press), nullptr);

    GtkWidget* column = gtk_box_new(GTK_ORIENTATION_VERTICAL, 4);
    gtk_container_set_border_width(GTK_CONTAINER(column), kMargin);
    gtk_container_add(GTK_CONTAINER(dialog.window), column);

    dialog.accentor_box = check_box(kAccentorText, dialog.state.accentor_checked);
    dialog.homosolver_box = check_box(kHomosolverText, dialog.state.homosolver_checked);
    dialog.reading_box = check_box(kReadingText, dialog.state.reading_checked);
    // A single blank keeps the empty status line one text line high.
    dialog.status_line = left_aligned_label(" ");
    GtkWidget* note = left_aligned_label(kNoteText);
    gtk_widget_set_margin_top(note, 8);

    gtk_box_pack_start(GTK_BOX(column), left_aligned_label(kGroupText), FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(column), dialog.accentor_box, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(column), dialog.homosolver_box, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(column), dialog.reading_box, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(column), note, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(column), dialog.status_line, FALSE, FALSE, 0);

    GtkWidget* buttons = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
    gtk_widget_set_halign(buttons, GTK_ALIGN_END);
    gtk_widget_set_margin_top(buttons, 12);
    GtkWidget* save = gtk_button_new_with_label(kSaveText);
    GtkWidget* cancel = gtk_button_new_with_label(kCancelText);
    gtk_widget_set_size_request(save, kButtonWidth, -1);
    gtk_widget_set_size_request(cancel, kButtonWidth, -1);
    g_signal_connect(save, "clicked", G_CALLBACK(on_save), &dialog);
    g_signal_connect(cancel, "clicked", G_CALLBACK(on_cancel), nullptr);
    gtk_box_pack_start(GTK_BOX(buttons), save, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(buttons), cancel, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(column), buttons, FALSE, FALSE, 0);

    // Enter anywhere but on the Cancel button saves, as in a Windows dialog.
    gtk_widget_set_can_default(save, TRUE);
    gtk_window_set_default(window, save);
}

}  // namespace
}  // namespace zelvan_tts

int main(int argc, char**) {
    using namespace zelvan_tts;
    if (argc > 1) {
        std::fprintf(stderr, "zelvan_tts_config: takes no arguments\n");
        return 1;
    }
    // Nor GTK's own options, such as --display: the program takes none.
    if (!gtk_init_check(nullptr, nullptr)) {
        std::fprintf(stderr,
                     "zelvan_tts_config: cannot open a display; the settings dialog needs a "
                     "graphical session (is DISPLAY set?)\n");
        return 1;
    }

    DialogWindow dialog;
    dialog.state = open_settings_dialog(SettingsStore::instance());
    build_window(dialog);
    gtk_widget_show_all(dialog.window);
    // Only once the boxes are shown does the window's focus chain lead to the
    // first one, so that Tab then moves on to the second.
    gtk_widget_grab_focus(dialog.accentor_box);
    gtk_main();
    gtk_widget_destroy(dialog.window);
    return 0;
}
