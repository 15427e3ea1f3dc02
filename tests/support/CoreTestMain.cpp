#include <QCoreApplication>

#include <gtest/gtest.h>

// The main() of the tests of kestrova_core: an event loop for sockets,
// timers and processes, and no widgets (these tests prove the core needs none).
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
