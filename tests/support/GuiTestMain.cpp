#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // The tests need no screen; CTest sets this too, but listing the tests runs before that.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
