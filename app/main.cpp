#include "app/tether_app.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // Outlives the camera library's Exit, which may still deliver callbacks.
    QApplication application(argc, argv);
    CTetherApp app;
    app.InitInstance();
    return app.ExitInstance();
}
