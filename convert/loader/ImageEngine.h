// The calls into the conversion engine that the window program makes. The engine's image
// codecs pull in some 140 shared libraries, whose loading alone would double the time the
// window takes to show; the window therefore loads the engine as a module once it shows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "FileList.h"
#include "Geometry.h"
#include "Plan.h"
#include "RunHost.h"
#include "UserInteraction.h"

namespace korvale {

// The engine's pictures; only the engine and the preview's drawing see their pixels.
struct PreviewSource;
struct PreviewPicture;

// A file's picture fitted into a square, as 8-bit RGBA rows without padding.
struct ThumbnailPixels {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;
};

struct ImageEngine {
    BatchEnd (*runBatch)(const FileList& list, BatchRequest& request, bool& running,
                         BatchHost& host, UserInteraction& ui);
    int (*previewDecodeSide)(PixelSize box);
    std::optional<PreviewSource> (*loadPreviewSource)(const std::string& path, int minLongSide);
    PreviewPicture (*makePreview)(const PreviewSource& source, const BatchRequest& request,
                                  const FilePlan& plan, PixelSize box);
    void (*waitForWorkAhead)();
    const char* (*openCvVersion)();  // for the about box
    // The file turned as the run turns it, its longer side at most `side`; false when it
    // cannot be decoded.
    bool (*makeThumbnail)(const std::string& path, int side, ThumbnailPixels& out);
};

// Starts loading the engine module on a thread of its own; later calls do nothing.
void StartLoadingImageEngine();

// The engine, once its loading (started here when it has not been) has ended; nullptr when the
// module could not be loaded, with the reason in `error`.
const ImageEngine* LoadedImageEngine(std::string* error = nullptr);

// The same, but nullptr at once when loading never started.
const ImageEngine* ImageEngineIfStarted();

}  // namespace korvale

// The module's one exported symbol.
#define KORVALE_IMAGE_ENGINE_ENTRY "KorvaleImageEngine"
#define KORVALE_IMAGE_ENGINE_MODULE "korvale-engine.so"
