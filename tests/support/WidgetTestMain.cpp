// main() of the widget tests: one QApplication on the offscreen platform for all cases.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("korvale"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
