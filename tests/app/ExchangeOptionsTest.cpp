// Moving the options between the record and the controls, with the checks of a run's start.
#include <gtest/gtest.h>

#include "BatchOptions.h"

namespace korvale {
namespace {

TEST(ExchangeOptions, ToControlsWritesTheTextsAndTicks) {
    BatchOptions options;
    options.targetWidth = 1181;
    options.targetDpi = 0;
    options.outputFolder = "/tmp/出力";
    options.keepAspect = true;
    options.applyHeight = false;
    OptionControls controls;
    controls.presetIndex = 3;
    ExchangeOptionsToControls(options, controls);
    EXPECT_EQ(controls.widthText, "1181");
    EXPECT_EQ(controls.heightText, "3508");
    EXPECT_EQ(controls.dpiText, "0");
    EXPECT_EQ(controls.folderText, "/tmp/出力");
    EXPECT_TRUE(controls.keepAspect);
    EXPECT_TRUE(controls.applyWidth);
    EXPECT_FALSE(controls.applyHeight);
    EXPECT_TRUE(controls.applyDpi);
    EXPECT_EQ(controls.presetIndex, 3);  // not one of the exchanged controls
}

std::string Repeat(const std::string& text, int times) {
    std::string result;
    for (int i = 0; i < times; ++i) {
        result += text;
    }
    return result;
}

struct FromCase {
    const char* name;
    std::string width, height, folder, dpi;
    int failingField;  // 0: accepted
    std::string message;
};

void PrintTo(const FromCase& c, std::ostream* os) {
    *os << c.name;
}

class ExchangeFromControls : public ::testing::TestWithParam<FromCase> {};

const char kInteger[] = "整数を入力してください。";
const char kSizeRange[] = "32 から 65535 までの整数を入力してください。";
const char kDpiRange[] = "0 から 10000 までの整数を入力してください。";
const char kNonNegative[] = "0 以上の整数を入力してください。";
const char kFolderLength[] = "512 文字以内で入力してください。";

const FromCase kFromCases[] = {
    {"Accepted", "32", "65535", "/tmp/x", "10000", 0, ""},
    {"BlanksAroundANumber", " 100 ", "+200", "", "0", 0, ""},
    {"Folder512Characters", "100", "100", Repeat("あ", 512), "300", 0, ""},
    {"EmptyWidth", "", "100", "", "300", kTargetWidthField, kInteger},
    {"WidthWithLetters", "12a", "100", "", "300", kTargetWidthField, kInteger},
    {"WidthOnlyASign", "-", "100", "", "300", kTargetWidthField, kInteger},
    {"WidthBelowRange", "31", "100", "", "300", kTargetWidthField, kSizeRange},
    {"WidthNegative", "-40", "100", "", "300", kTargetWidthField, kSizeRange},
    {"WidthBeyond32Bits", "99999999999", "100", "", "300", kTargetWidthField, kSizeRange},
    {"Height20", "100", "20", "", "300", kTargetHeightField, kSizeRange},
    {"Height65536", "100", "65536", "", "300", kTargetHeightField, kSizeRange},
    {"Folder513Characters", "100", "100", Repeat("あ", 513), "300", kOutputFolderField,
     kFolderLength},
    {"EmptyDpi", "100", "100", "", "", kTargetDpiField, kInteger},
    {"DpiNegative", "100", "100", "", "-1", kTargetDpiField, kNonNegative},
    {"Dpi10001", "100", "100", "", "10001", kTargetDpiField, kDpiRange},
    {"WidthBeforeDpi", "", "100", "", "x", kTargetWidthField, kInteger},
    {"HeightBeforeFolder", "100", "1", Repeat("a", 513), "300", kTargetHeightField, kSizeRange},
    {"FolderBeforeDpi", "100", "100", Repeat("a", 513), "-1", kOutputFolderField, kFolderLength},
};

TEST_P(ExchangeFromControls, ChecksInOrderAndChangesNothingOnFailure) {
    const FromCase& c = GetParam();
    OptionControls controls;
    controls.widthText = c.width;
    controls.heightText = c.height;
    controls.folderText = c.folder;
    controls.dpiText = c.dpi;
    controls.keepAspect = true;
    controls.applyWidth = false;
    controls.applyHeight = true;
    controls.applyDpi = false;
    BatchOptions options;
    const auto error = ExchangeOptionsFromControls(controls, options);
    if (c.failingField == 0) {
        ASSERT_FALSE(error.has_value()) << error->message;
        EXPECT_EQ(options.outputFolder, c.folder);
        EXPECT_TRUE(options.keepAspect);
        EXPECT_FALSE(options.applyWidth);
        EXPECT_FALSE(options.applyDpi);
        EXPECT_EQ(ControlsShowing(options).dpiText, std::to_string(std::stoi(c.dpi)));
        return;
    }
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->field, c.failingField);
    EXPECT_EQ(error->message, c.message);
    BatchOptions untouched;
    EXPECT_EQ(options.targetWidth, untouched.targetWidth);
    EXPECT_EQ(options.targetHeight, untouched.targetHeight);
    EXPECT_EQ(options.targetDpi, untouched.targetDpi);
    EXPECT_EQ(options.outputFolder, untouched.outputFolder);
    EXPECT_EQ(options.keepAspect, untouched.keepAspect);
    EXPECT_EQ(options.applyWidth, untouched.applyWidth);
}

INSTANTIATE_TEST_SUITE_P(Cases, ExchangeFromControls, ::testing::ValuesIn(kFromCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ExchangeOptions, AcceptedTextsReachTheRecord) {
    OptionControls controls;
    controls.widthText = "1181";
    controls.heightText = " 1748";
    controls.folderText = "/out";
    controls.dpiText = "600";
    BatchOptions options;
    ASSERT_FALSE(ExchangeOptionsFromControls(controls, options).has_value());
    EXPECT_EQ(options.targetWidth, 1181);
    EXPECT_EQ(options.targetHeight, 1748);
    EXPECT_EQ(options.targetDpi, 600u);
    EXPECT_EQ(options.outputFolder, "/out");
}

}  // namespace
}  // namespace korvale

namespace korvale {
namespace {

// The window's request comes from the record and the choices the controls show, in one step.
TEST(WindowRequest, TakesTheRecordAndTheControlsChoices) {
    BatchOptions options;
    options.targetWidth = 1000;
    options.outputFolder = "/out";
    options.method = BatchMethod::CropPaste;
    options.metadata = MetadataPolicy::All;
    options.marginRed = 10;
    struct Case {
        const char* name;
        bool dpiOnly;
        int methodIndex;
        int metadataIndex;
        int formatIndex;
        BatchMethod method;
        MetadataPolicy metadata;
        SaveFormat format;
    } cases[] = {
        {"resize", false, 0, 0, 3, BatchMethod::Resize, MetadataPolicy::None, SaveFormat::Png},
        {"crop", false, 1, 2, 4, BatchMethod::CropPaste, MetadataPolicy::All, SaveFormat::Tiff},
        {"dpi only", true, 0, 1, 0, BatchMethod::DpiOnly, MetadataPolicy::NoGps, SaveFormat::Bmp},
        {"no metadata selection keeps the record's", false, 0, -1, -1, BatchMethod::Resize,
         MetadataPolicy::All, SaveFormat::SameAsSource},
    };
    for (const Case& c : cases) {
        OptionControls controls = ControlsShowing(options);
        controls.dpiOnly = c.dpiOnly;
        controls.methodIndex = c.methodIndex;
        controls.metadataIndex = c.metadataIndex;
        controls.saveFormatIndex = c.formatIndex;
        controls.interpolationIndex = -1;  // the run refuses it, so it must reach the run
        controls.anchorIndex = 7;
        const BatchRequest request = MakeBatchRequest(options, controls);
        EXPECT_EQ(request.method, c.method) << c.name;
        EXPECT_EQ(request.metadata, c.metadata) << c.name;
        EXPECT_EQ(request.saveFormat, c.format) << c.name;
        EXPECT_EQ(request.interpolation, -1) << c.name;
        EXPECT_EQ(request.anchor, 7) << c.name;
        EXPECT_EQ(request.targetWidth, 1000) << c.name;
        EXPECT_EQ(request.outputFolder, "/out") << c.name;
        EXPECT_EQ(request.margin.red, 10) << c.name;
    }
}

TEST(WindowRequest, ClicksKeepTheScalingMethodWhileDpiOnlyIsSelected) {
    BatchOptions options;
    OptionControls controls = ControlsShowing(options);
    controls.methodIndex = 1;
    controls.applyDpi = false;
    TakeChoices(controls, options);
    EXPECT_EQ(options.method, BatchMethod::CropPaste);
    EXPECT_FALSE(options.applyDpi);
    controls.dpiOnly = true;
    controls.methodIndex = 0;  // the radios show nothing of it then
    TakeChoices(controls, options);
    EXPECT_EQ(options.method, BatchMethod::CropPaste);
}

// The record, the request and the stored keys start from the same values.
TEST(OptionDefaultsTable, FeedsTheRecordAndTheRequest) {
    const BatchOptions options;
    const BatchRequest request;
    const BatchRequest made = MakeBatchRequest(options);
    EXPECT_EQ(made.targetWidth, request.targetWidth);
    EXPECT_EQ(made.targetHeight, request.targetHeight);
    EXPECT_EQ(made.targetDpi, request.targetDpi);
    EXPECT_EQ(made.interpolation, request.interpolation);
    EXPECT_EQ(made.anchor, request.anchor);
    EXPECT_EQ(made.jpegQuality, request.jpegQuality);
    EXPECT_EQ(made.saveFormat, request.saveFormat);
    EXPECT_EQ(made.metadata, request.metadata);
    EXPECT_EQ(made.margin.blue, request.margin.blue);
}

}  // namespace
}  // namespace korvale
