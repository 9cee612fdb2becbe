#pragma once

class CTetherDlg;

// Start-up and shutdown of the program around its one modal window.
// Main thread only; the QApplication must exist for the whole of InitInstance.
class CTetherApp {
public:
    CTetherApp() = default;
    CTetherApp(const CTetherApp &) = delete;
    CTetherApp &operator=(const CTetherApp &) = delete;

    // Creates the camera binding, loads the decoder and the camera library,
    // initialises the camera library, runs the main window until it closes,
    // then exits, unloads and destroys the camera binding. A start-up failure
    // ends it at once, silently and without a window. Returns false on every
    // path: there is no loop of the application's own to run afterwards.
    bool InitInstance();

    // Unloads the decoder library (harmless when it was never loaded).
    // Returns the process exit code.
    int ExitInstance();

    // The main window while it runs, else null.
    CTetherDlg *MainWindow() const { return m_pMainWnd; }

private:
    CTetherDlg *m_pMainWnd = nullptr;
};
