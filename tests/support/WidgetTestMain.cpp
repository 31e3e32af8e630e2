// main() of the widget tests: one QApplication on the offscreen platform for all cases.
#include <gtest/gtest.h>

#include <dirent.h>

#include <QApplication>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

size_t ThreadCount() {
    size_t count = 0;
    if (DIR* tasks = ::opendir("/proc/self/task")) {
        while (const dirent* entry = ::readdir(tasks)) {
            count += entry->d_name[0] != '.' ? 1 : 0;
        }
        ::closedir(tasks);
    }
    return count;
}

// Qt paints on its global thread pool. Destroying the pool waits for its threads only until
// they are done with their work, not until they have freed their thread data, so a process
// that exits at once is now and then reported by the leak checker for that data. Waiting
// until the other threads are gone gives them that moment.
void LetQtThreadsExit() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (ThreadCount() > 1 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

}  // namespace

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
    int result = 0;
    {
        QApplication app(argc, argv);
        QApplication::setApplicationName(QStringLiteral("korvale"));
        ::testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
    }
    LetQtThreadsExit();
    return result;
}
