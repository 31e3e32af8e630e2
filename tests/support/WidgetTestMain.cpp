// main() of the widget tests: one QApplication on the offscreen platform for all cases.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    // --setenv=NAME=VALUE, before Qt reads its variables: CTest hands gtest_discover_tests only
    // the first entry of an ENVIRONMENT list, so a scale and a language come as arguments.
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const std::string prefix = "--setenv=";
        const size_t equals = argument.find('=', prefix.size());
        if (argument.rfind(prefix, 0) == 0 && equals != std::string::npos) {
            ::setenv(argument.substr(prefix.size(), equals - prefix.size()).c_str(),
                     argument.substr(equals + 1).c_str(), 1);
        }
    }
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("korvale"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
