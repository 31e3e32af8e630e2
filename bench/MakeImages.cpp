// Writes the benchmark workloads: photo-like images (smooth shapes, texture and sensor noise)
// of a fixed size, as JPEG, 24-bit BMP, 24-bit PNG or uncompressed 24-bit TIFF.
//   bench_make_images FOLDER COUNT WIDTH HEIGHT jpg|bmp|png|tif
#include <cstdio>
#include <cstdlib>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: %s FOLDER COUNT WIDTH HEIGHT jpg|bmp|png|tif\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    const int count = std::atoi(argv[2]);
    const int width = std::atoi(argv[3]);
    const int height = std::atoi(argv[4]);
    const std::string extension = argv[5];
    cv::RNG rng(20261207);
    for (int i = 0; i < count; ++i) {
        // A coarse random field scaled up gives smooth colour regions like a photograph.
        cv::Mat coarse(9 + i % 5, 12 + i % 7, CV_8UC3);
        rng.fill(coarse, cv::RNG::UNIFORM, 0, 256);
        cv::Mat image;
        cv::resize(coarse, image, cv::Size(width, height), 0, 0, cv::INTER_CUBIC);
        for (int s = 0; s < 40; ++s) {
            const cv::Point centre(rng.uniform(0, width), rng.uniform(0, height));
            const cv::Scalar colour(rng.uniform(0, 256), rng.uniform(0, 256), rng.uniform(0, 256));
            if (s % 2 == 0) {
                cv::circle(image, centre, rng.uniform(width / 80, width / 8), colour, cv::FILLED,
                           cv::LINE_AA);
            } else {
                cv::line(image, centre, cv::Point(rng.uniform(0, width), rng.uniform(0, height)),
                         colour, rng.uniform(1, 6), cv::LINE_AA);
            }
        }
        cv::GaussianBlur(image, image, cv::Size(0, 0), 1.2);
        cv::Mat noise(image.size(), CV_8UC3);
        rng.fill(noise, cv::RNG::NORMAL, 0, 6);
        cv::Mat noisy;
        cv::add(image, noise, noisy, cv::noArray(), CV_8UC3);
        cv::subtract(noisy, cv::Scalar::all(3), noisy);
        char name[64];
        std::snprintf(name, sizeof name, "/img%04d.%s", i, extension.c_str());
        if (!cv::imwrite(folder + name, noisy,
                         {cv::IMWRITE_JPEG_QUALITY, 92, cv::IMWRITE_TIFF_COMPRESSION, 1})) {
            std::fprintf(stderr, "cannot write %s%s\n", folder.c_str(), name);
            return 1;
        }
    }
    return 0;
}
