# Sources of the dialogs/ folder, built into the user-interface target with app/.
set(TAVREN_DIALOG_SOURCES)
