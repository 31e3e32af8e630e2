// The decoders alone, for the phone and web workloads of the conversion benchmarks: each file
// is read into memory first, then decoded to 8-bit RGB by libheif or libwebp on THREADS threads
// that take the files in turn. Nothing is written. Built by bench/run-conversion-benchmarks.sh.
//   bench_decode_loop heif|webp THREADS FILE...
// Prints the decode time alone, without the reading, in seconds.
#include <libheif/heif.h>
#include <webp/decode.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

bool DecodeHeif(const std::vector<unsigned char>& bytes) {
    heif_context* context = heif_context_alloc();
    bool ok = false;
    heif_image_handle* handle = nullptr;
    heif_image* image = nullptr;
    if (heif_context_read_from_memory_without_copy(context, bytes.data(), bytes.size(), nullptr)
                .code == heif_error_Ok &&
        heif_context_get_primary_image_handle(context, &handle).code == heif_error_Ok &&
        heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGB,
                          nullptr)
                .code == heif_error_Ok) {
        int stride = 0;
        ok = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride) != nullptr;
    }
    heif_image_release(image);
    heif_image_handle_release(handle);
    heif_context_free(context);
    return ok;
}

bool DecodeWebp(const std::vector<unsigned char>& bytes) {
    int width = 0, height = 0;
    uint8_t* pixels = WebPDecodeRGB(bytes.data(), bytes.size(), &width, &height);
    WebPFree(pixels);
    return pixels != nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s heif|webp THREADS FILE...\n", argv[0]);
        return 2;
    }
    const std::string kind = argv[1];
    const int threads = std::atoi(argv[2]);
    if ((kind != "heif" && kind != "webp") || threads < 1) {
        std::fprintf(stderr, "usage: %s heif|webp THREADS FILE...\n", argv[0]);
        return 2;
    }
    std::vector<std::vector<unsigned char>> files;
    for (int i = 3; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        files.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    const auto started = std::chrono::steady_clock::now();
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&] {
            for (size_t i = next++; i < files.size(); i = next++) {
                if (!(kind == "heif" ? DecodeHeif(files[i]) : DecodeWebp(files[i]))) {
                    std::fprintf(stderr, "%s: cannot decode\n", argv[3 + i]);
                    failed = true;
                }
            }
        });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
    std::printf("%.3f\n", took.count());
    return failed ? 1 : 0;
}
