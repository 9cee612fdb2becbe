// The main of every Qt test program: widgets need a QApplication.
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char *argv[])
{
    // Offscreen unless a platform is chosen, also when run by hand or by test
    // discovery at build time, which see no CTest environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
