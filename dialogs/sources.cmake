# Sources of the dialogs/ folder, built into the user-interface target with app/.
set(TAVREN_DIALOG_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/camera_select_dlg.cpp
    ${CMAKE_CURRENT_LIST_DIR}/include/dialogs/camera_select_dlg.h
    ${CMAKE_CURRENT_LIST_DIR}/camera_text.cpp
    ${CMAKE_CURRENT_LIST_DIR}/folder_chooser.cpp
    ${CMAKE_CURRENT_LIST_DIR}/select_camera.cpp
    ${CMAKE_CURRENT_LIST_DIR}/browse_folder.cpp
)
