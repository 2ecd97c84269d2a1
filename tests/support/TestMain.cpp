// The main() of every test binary: a private home first, then Qt, then GoogleTest.
#include "support/TestEnvironment.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>

namespace testenv {
void Install();
}

int main(int argc, char** argv) {
    testenv::Install();
    if (!std::getenv("QT_QPA_PLATFORM"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
