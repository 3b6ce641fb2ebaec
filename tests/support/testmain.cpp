#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <cstring>
#include <memory>

// GUI tests need the application object before any widget exists; the core
// tests do not mind having one. Listing the tests (ctest's discovery at build
// time) needs none, and runs without the display and sanitizer settings of a
// test run. ctest runs test cases of one program side by side, so each run gets
// a settings folder of its own unless the caller chose one.
int main(int argc, char** argv)
{
    bool listing = false;
    for (int i = 1; i < argc; ++i)
        listing = listing || std::strcmp(argv[i], "--gtest_list_tests") == 0;
    std::unique_ptr<QApplication> app;
    std::unique_ptr<QTemporaryDir> home;
    if (!listing) {
        if (qEnvironmentVariableIsEmpty("VEXOR_HOME")) {
            home = std::make_unique<QTemporaryDir>();
            qputenv("VEXOR_HOME", home->path().toLocal8Bit());
        }
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QApplication>(argc, argv);
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
