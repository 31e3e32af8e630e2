// What the benchmarks share: small image files (half BMP, half JPEG as OpenCV writes them) in a
// temporary folder that lives as long as the process, and an interaction seam that answers
// nothing.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <string>
#include <vector>

#include "UserInteraction.h"

namespace korvale::bench {

class QuietInteraction : public UserInteraction {
public:
    void ShowMessage(const Message&, MessageIcon) override {}
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}
    OverwriteChoice AskOverwrite(const Message&) override { return OverwriteChoice::Cancel; }
    bool AskCreateFolder(const std::string&) override { return true; }
    void ReportDamagedSources(const std::vector<std::string>&) override {}
    void PumpEvents() override {}
    std::optional<std::vector<std::string>> ChooseImageFiles() override { return {}; }
    std::optional<Rgb> ChooseColour(const Rgb&) override { return {}; }
    std::optional<std::string> ChooseFolder(const std::string&, const std::string&) override {
        return {};
    }
};

class SmallImageCorpus {
public:
    explicit SmallImageCorpus(int count) {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/korvale-bench-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        folder_ = pattern;
        const cv::Mat image(48, 64, CV_8UC3, cv::Scalar(30, 120, 200));
        std::vector<uchar> bmp, jpeg;
        cv::imencode(".bmp", image, bmp);
        cv::imencode(".jpg", image, jpeg, {cv::IMWRITE_JPEG_QUALITY, 90});
        for (int i = 0; i < count; ++i) {
            const bool isBmp = i % 2 == 0;
            const std::string path =
                folder_ + "/img" + std::to_string(i) + (isBmp ? ".bmp" : ".jpg");
            const auto& bytes = isBmp ? bmp : jpeg;
            const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd < 0 ||
                ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
                std::abort();
            }
            ::close(fd);
            paths_.push_back(path);
        }
    }
    ~SmallImageCorpus() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    SmallImageCorpus(const SmallImageCorpus&) = delete;
    SmallImageCorpus& operator=(const SmallImageCorpus&) = delete;

    const std::vector<std::string>& paths() const { return paths_; }

private:
    std::string folder_;
    std::vector<std::string> paths_;
};

}  // namespace korvale::bench
