#include "app/tether_app.h"

#include "app/tether_dlg.h"
#include "camera/camera_library.h"
#include "image/exif_library.h"

bool CTetherApp::InitInstance()
{
    CreateCameraLibrary();
    CCameraLibrary *library = GetCameraLibrary();
    if (!library)
        return false;
    if (!LoadExifLibrary()) {
        DestroyCameraLibrary();
        return false;
    }
    if (!library->Load()) {
        // A partly bound library stays loaded after a failed Load.
        library->Unload();
        DestroyCameraLibrary();
        return false;
    }
    if (library->Init(0) != 0) {
        library->Unload();
        DestroyCameraLibrary();
        return false;
    }

    CTetherDlg window;
    m_pMainWnd = &window;
    window.exec();
    m_pMainWnd = nullptr;
    library->Exit();
    library->Unload();
    DestroyCameraLibrary();
    return false;
}

int CTetherApp::ExitInstance()
{
    UnloadExifLibrary();
    return 0;
}
