// The engine module as the window program loads it: found beside the program, every call set,
// and a module that is not there named in the reason.
#include <gtest/gtest.h>

#include "ImageEngine.h"
#include "Preview.h"
#include "ProgramModule.h"

namespace korvale {
namespace {

TEST(ImageEngine, LoadsOnceWithEveryCall) {
    StartLoadingImageEngine();
    StartLoadingImageEngine();
    std::string error;
    const ImageEngine* engine = LoadedImageEngine(&error);
    ASSERT_NE(engine, nullptr) << error;
    EXPECT_EQ(ImageEngineIfStarted(), engine);
    EXPECT_NE(engine->runBatch, nullptr);
    EXPECT_NE(engine->loadPreviewSource, nullptr);
    EXPECT_NE(engine->makePreview, nullptr);
    EXPECT_NE(engine->waitForWorkAhead, nullptr);
    EXPECT_FALSE(engine->loadPreviewSource("/nonexistent/korvale.png", 64).has_value());
}

TEST(ImageEngine, MissingModuleOrEntryIsNamed) {
    std::string error;
    EXPECT_EQ(LoadProgramModule("korvale-no-such-module.so", "X", error), nullptr);
    EXPECT_NE(error.find("korvale-no-such-module.so"), std::string::npos) << error;
    error.clear();
    EXPECT_EQ(LoadProgramModule(KORVALE_IMAGE_ENGINE_MODULE, "KorvaleNoSuchEntry", error), nullptr);
    EXPECT_NE(error.find("KorvaleNoSuchEntry"), std::string::npos) << error;
}

}  // namespace
}  // namespace korvale
