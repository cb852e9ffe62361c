// main() for the GUI tests: one QApplication for the whole program, on Qt's
// offscreen platform unless the environment names another (Xvfb, for
// screenshots with the real fonts).
#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
