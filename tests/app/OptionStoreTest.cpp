// The stored options: the read rules at start and what closing the window writes.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "OptionStore.h"
#include "SettingsStore.h"
#include "TestFiles.h"

namespace korvale {
namespace {

std::string Describe(const BatchOptions& o) {
    std::ostringstream s;
    s << "method " << static_cast<int>(o.method) << ", interpolation "
      << static_cast<int>(o.interpolation) << ", keepAspect " << o.keepAspect << ", anchor "
      << o.anchor << ", margin " << o.marginRed << "/" << o.marginGreen << "/" << o.marginBlue
      << ", apply " << o.applyWidth << o.applyHeight << o.applyDpi << ", target " << o.targetWidth
      << "x" << o.targetHeight << "@" << o.targetDpi << ", preset " << o.presetIndex << ", format "
      << static_cast<int>(o.saveFormat) << ", quality " << o.jpegQuality << ", folder '"
      << o.outputFolder << "', dpiOnly " << o.dpiOnly << ", metadata "
      << static_cast<int>(o.metadata);
    return s.str();
}

void WriteText(const std::string& path, const std::string& text) {
    test::WriteFile(path, test::Bytes(text.begin(), text.end()));
}

std::string ReadText(const std::string& path) {
    const test::Bytes bytes = test::ReadFile(path);
    return std::string(bytes.begin(), bytes.end());
}

BatchOptions LoadFrom(const std::string& settingsLines, size_t presetCount) {
    test::TempDir dir;
    WriteText(dir.File("korvale.conf"), "[Settings]\n" + settingsLines);
    return LoadBatchOptions(SettingsStore::ForFile(dir.File("korvale.conf")), presetCount);
}

struct ReadCase {
    const char* name;
    std::string stored;
    size_t presetCount;
    std::function<void(BatchOptions&)> expect;  // applied to the defaults
};

void PrintTo(const ReadCase& c, std::ostream* os) {
    *os << c.name;
}

class OptionRead : public ::testing::TestWithParam<ReadCase> {};

TEST_P(OptionRead, GivesTheRecord) {
    BatchOptions expected;
    GetParam().expect(expected);
    EXPECT_EQ(Describe(LoadFrom(GetParam().stored, GetParam().presetCount)), Describe(expected));
}

const auto kDefaults = [](BatchOptions&) {};

const ReadCase kReadCases[] = {
    {"EmptyStoreGivesDefaults", "", 2, kDefaults},
    {"EmptyStoreWithoutPresetsSelectsNone", "", 0, [](auto& o) { o.presetIndex = -1; }},
    {"AllValuesInRange",
     "Mode=1\nIP=0\nHoldAspect=1\nCrop=8\nSpR=0\nSpG=128\nSpB=255\nApplySizeX=0\n"
     "ApplySizeY=0\nApplyDPI=0\nSizeX=32\nSizeY=65535\nDPI=0\nPreset=1\nFormat=1\nJQ=100\n"
     "Folder=/home/u/出力\n",
     2,
     [](auto& o) {
         o.method = BatchMethod::CropPaste;
         o.interpolation = InterpolationChoice::NearestNeighbor;
         o.keepAspect = true;
         o.anchor = 8;
         o.marginRed = 0;
         o.marginGreen = 128;
         o.applyWidth = o.applyHeight = o.applyDpi = false;
         o.targetWidth = 32;
         o.targetHeight = 65535;
         o.targetDpi = 0;
         o.presetIndex = 1;
         o.saveFormat = SaveFormat::Jpeg;
         o.jpegQuality = 100;
         o.outputFolder = "/home/u/出力";
     }},
    {"InterpolationTooLarge", "IP=7\n", 2, kDefaults},
    {"InterpolationNegative", "IP=-1\n", 2, kDefaults},
    {"AnchorTooLarge", "Crop=9\n", 2, kDefaults},
    {"AnchorNegative", "Crop=-1\n", 2, kDefaults},
    {"AnyOtherModeIsCropPaste", "Mode=2\n", 2, [](auto& o) { o.method = BatchMethod::CropPaste; }},
    {"NegativeModeIsCropPaste", "Mode=-1\n", 2, [](auto& o) { o.method = BatchMethod::CropPaste; }},
    {"FormatBmp", "Format=0\n", 2, [](auto& o) { o.saveFormat = SaveFormat::Bmp; }},
    {"FormatPng", "Format=3\n", 2, [](auto& o) { o.saveFormat = SaveFormat::Png; }},
    {"FormatTiff", "Format=4\n", 2, [](auto& o) { o.saveFormat = SaveFormat::Tiff; }},
    {"FormatWebp", "Format=5\n", 2, [](auto& o) { o.saveFormat = SaveFormat::Webp; }},
    {"FormatAvif", "Format=6\n", 2, [](auto& o) { o.saveFormat = SaveFormat::Avif; }},
    {"AnyOtherFormatIsSameAsSource", "Format=7\n", 2, kDefaults},
    {"NegativeFormatIsSameAsSource", "Format=-1\n", 2, kDefaults},
    {"SwitchesTakeAnyNonZero", "HoldAspect=5\nApplySizeX=-3\nApplyDPI=0\n", 2,
     [](auto& o) {
         o.keepAspect = true;
         o.applyDpi = false;
     }},
    {"MarginComponentsEachOnTheirOwn", "SpR=10\nSpG=300\nSpB=20\n", 2,
     [](auto& o) {
         o.marginRed = 10;
         o.marginBlue = 20;
     }},
    {"MarginNegative", "SpR=-1\n", 2, kDefaults},
    {"Width31", "SizeX=31\n", 2, kDefaults},
    {"Width32", "SizeX=32\n", 2, [](auto& o) { o.targetWidth = 32; }},
    {"Width65535", "SizeX=65535\n", 2, [](auto& o) { o.targetWidth = 65535; }},
    {"Width65536", "SizeX=65536\n", 2, kDefaults},
    {"WidthNegative", "SizeX=-100\n", 2, kDefaults},
    {"Height31", "SizeY=31\n", 2, kDefaults},
    {"Dpi10000", "DPI=10000\n", 2, [](auto& o) { o.targetDpi = 10000; }},
    {"Dpi10001", "DPI=10001\n", 2, kDefaults},
    {"DpiNegative", "DPI=-1\n", 2, kDefaults},
    {"Quality101", "JQ=101\n", 2, kDefaults},
    {"QualityNegative", "JQ=-5\n", 2, kDefaults},
    {"PresetBeyondTheList", "Preset=3\n", 2, kDefaults},
    {"PresetLast", "Preset=1\n", 2, [](auto& o) { o.presetIndex = 1; }},
    {"PresetNegative", "Preset=-1\n", 2, kDefaults},
    {"PresetNotReadWithoutPresets", "Preset=1\n", 0, [](auto& o) { o.presetIndex = -1; }},
    {"NotAnInteger", "SizeX=abc\nSizeY=100px\nDPI=2.5\nJQ=\n", 2, kDefaults},
    {"BeyondThe32BitRange", "DPI=4294967295\nSizeX=99999999999\n", 2, kDefaults},
    {"FolderListIsAnotherType", "Folder=a, b\n", 2, kDefaults},
    {"FolderQuotedWithComma", "Folder=\"a, b\"\n", 2, [](auto& o) { o.outputFolder = "a, b"; }},
    // Keys beyond the described ones.
    {"DpiOnlyKeepsTheScalingMethod", "Mode=1\nDpiOnly=1\n", 2,
     [](auto& o) {
         o.dpiOnly = true;
         o.method = BatchMethod::CropPaste;
     }},
    {"DpiOnlyTakesAnyNonZero", "DpiOnly=-2\n", 2, [](auto& o) { o.dpiOnly = true; }},
    {"MetadataNone", "Metadata=0\n", 2, [](auto& o) { o.metadata = MetadataPolicy::None; }},
    {"MetadataAll", "Metadata=2\n", 2, [](auto& o) { o.metadata = MetadataPolicy::All; }},
    {"MetadataTooLarge", "Metadata=3\n", 2, kDefaults},
    {"MetadataNegative", "Metadata=-1\n", 2, kDefaults},
};

INSTANTIATE_TEST_SUITE_P(Cases, OptionRead, ::testing::ValuesIn(kReadCases),
                         [](const auto& info) { return std::string(info.param.name); });

class OptionSave : public ::testing::Test {
protected:
    // Saves the controls, then starts again from the same store with two presets.
    BatchOptions SaveAndReload(const OptionControls& controls) {
        {
            SettingsStore store = SettingsStore::ForFile(Path());
            SaveBatchOptions(controls, store);
        }
        return LoadBatchOptions(SettingsStore::ForFile(Path()), 2);
    }
    int32_t Stored(const char* name) const {
        return SettingsStore::ForFile(Path()).ReadInt(name).value_or(-12345);
    }
    std::string Path() const { return dir.File("korvale.conf"); }

    test::TempDir dir;
};

TEST_F(OptionSave, NumbersAreStoredAsAtoiReadsThemWithoutRangeTest) {
    OptionControls controls = ControlsShowing(BatchOptions{});
    controls.widthText = "";
    controls.heightText = "10";
    controls.dpiText = " 120dpi";
    const BatchOptions reloaded = SaveAndReload(controls);
    EXPECT_EQ(Stored("SizeX"), 0);
    EXPECT_EQ(Stored("SizeY"), 10);
    EXPECT_EQ(Stored("DPI"), 120);
    EXPECT_EQ(reloaded.targetWidth, 2480);
    EXPECT_EQ(reloaded.targetHeight, 3508);
    EXPECT_EQ(reloaded.targetDpi, 120u);
    // Integers are plain numbers in the file, not quoted texts.
    EXPECT_NE(ReadText(Path()).find("\nSizeX=0\n"), std::string::npos);
}

TEST_F(OptionSave, ControlsWithoutSelectionStoreTheirFallbacks) {
    OptionControls controls;  // nothing selected, no text
    SaveAndReload(controls);
    EXPECT_EQ(Stored("Mode"), 1);
    EXPECT_EQ(Stored("IP"), 4);
    EXPECT_EQ(Stored("Crop"), 4);
    EXPECT_EQ(Stored("Preset"), 0);
    EXPECT_EQ(Stored("Format"), 2);
    EXPECT_EQ(Stored("HoldAspect"), 0);
    EXPECT_EQ(Stored("ApplyDPI"), 0);
}

TEST_F(OptionSave, EveryOptionComesBackAfterARestart) {
    BatchOptions options;
    options.method = BatchMethod::CropPaste;
    options.interpolation = InterpolationChoice::Area;
    options.keepAspect = true;
    options.anchor = 6;
    options.marginRed = 1;
    options.marginGreen = 2;
    options.marginBlue = 3;
    options.applyHeight = false;
    options.targetWidth = 1181;
    options.targetHeight = 1748;
    options.targetDpi = 600;
    options.presetIndex = 1;
    options.saveFormat = SaveFormat::Bmp;
    options.jpegQuality = 0;
    options.outputFolder = " /tmp/出力, \"x\"=;#[y] ";
    options.dpiOnly = true;
    options.metadata = MetadataPolicy::None;
    EXPECT_EQ(Describe(SaveAndReload(ControlsShowing(options))), Describe(options));
}

TEST_F(OptionSave, EveryFormatIsStoredAsItsValue) {
    for (const SaveFormat format :
         {SaveFormat::Bmp, SaveFormat::Jpeg, SaveFormat::SameAsSource, SaveFormat::Png,
          SaveFormat::Tiff, SaveFormat::Webp, SaveFormat::Avif}) {
        BatchOptions options;
        options.saveFormat = format;
        EXPECT_EQ(SaveAndReload(ControlsShowing(options)).saveFormat, format);
        EXPECT_EQ(Stored("Format"), static_cast<int>(format));
    }
}

TEST(SettingsName, IsTheProgramFileNameWithoutItsLastExtension) {
    const struct {
        const char* program;
        const char* name;
    } cases[] = {
        {"korvale", "korvale"},     {"/usr/bin/korvale", "korvale"},
        {"./kv.test.x", "kv.test"}, {"/opt/k.v/Korvale.bin", "Korvale"},
        {"korvale.", "korvale"},    {".korvale", ".korvale"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ApplicationNameForProgram(c.program), c.name) << c.program;
    }
}

// A program that knows only the two described methods reads Mode and finds the scaling
// method chosen before DPI only; without the new keys a store reads as it always did.
TEST_F(OptionSave, DpiOnlyStoresTheScalingMethodInMode) {
    for (const BatchMethod method : {BatchMethod::Resize, BatchMethod::CropPaste}) {
        OptionControls controls = ControlsShowing(BatchOptions{});
        controls.methodIndex = static_cast<int>(method);
        controls.dpiOnly = true;
        const BatchOptions reloaded = SaveAndReload(controls);
        EXPECT_EQ(Stored("Mode"), static_cast<int>(method));
        EXPECT_EQ(Stored("DpiOnly"), 1);
        EXPECT_TRUE(reloaded.dpiOnly);
        EXPECT_EQ(reloaded.method, method);
    }
    OptionControls controls;  // no selection in the metadata list either
    SaveAndReload(controls);
    EXPECT_EQ(Stored("DpiOnly"), 0);
    EXPECT_EQ(Stored("Metadata"), 1);
}

TEST(MakeBatchRequest, DpiOnlyIsTheRunsMethodAndTheMetadataPolicyPassesOn) {
    BatchOptions options;
    options.method = BatchMethod::CropPaste;
    options.metadata = MetadataPolicy::All;
    EXPECT_EQ(MakeBatchRequest(options).method, BatchMethod::CropPaste);
    EXPECT_EQ(MakeBatchRequest(options).metadata, MetadataPolicy::All);
    options.dpiOnly = true;
    EXPECT_EQ(MakeBatchRequest(options).method, BatchMethod::DpiOnly);
}

TEST_F(OptionSave, TreeClashKeepGoingAndToSrgbAreStoredOnlyOnceChosen) {
    OptionControls controls = ControlsShowing(BatchOptions{});
    SaveAndReload(controls);
    for (const char* name : {"KeepTree", "OnClash", "KeepGoing", "ToSrgb"}) {
        EXPECT_EQ(ReadText(Path()).find(name), std::string::npos) << name;
    }
    controls.keepTree = true;
    controls.clashIndex = 1;
    controls.keepGoing = true;
    controls.toSrgb = true;
    BatchOptions reloaded = SaveAndReload(controls);
    EXPECT_TRUE(reloaded.keepTree);
    EXPECT_EQ(reloaded.onClash, ClashRule::Number);
    EXPECT_TRUE(reloaded.keepGoing);
    EXPECT_TRUE(reloaded.toSrgb);
    EXPECT_EQ(Stored("ToSrgb"), 1);
    // Switched back off, the older choice does not stay.
    reloaded = SaveAndReload(ControlsShowing(BatchOptions{}));
    EXPECT_FALSE(reloaded.keepTree);
    EXPECT_EQ(reloaded.onClash, ClashRule::Refuse);
    EXPECT_FALSE(reloaded.keepGoing);
    EXPECT_FALSE(reloaded.toSrgb);
    EXPECT_EQ(Stored("OnClash"), 0);
    EXPECT_EQ(Stored("ToSrgb"), 0);
}

TEST(OptionReadNewKeys, UnusableValuesReadAsTheDefault) {
    test::TempDir dir;
    const std::string path = dir.File("korvale.conf");
    test::WriteFile(path, {});
    const struct {
        const char* text;
        ClashRule rule;
    } cases[] = {{"OnClash=1\n", ClashRule::Number},
                 {"OnClash=2\n", ClashRule::Refuse},
                 {"OnClash=-1\n", ClashRule::Refuse},
                 {"OnClash=x\n", ClashRule::Refuse}};
    for (const auto& c : cases) {
        const std::string text = std::string("[Settings]\n") + c.text;
        test::WriteFile(path, test::Bytes(text.begin(), text.end()));
        EXPECT_EQ(LoadBatchOptions(SettingsStore::ForFile(path), 2).onClash, c.rule) << c.text;
    }
}

TEST(MakeBatchRequest, TreeClashAndKeepGoingPassOnFromRecordAndControls) {
    BatchOptions options;
    options.keepTree = true;
    options.onClash = ClashRule::Number;
    options.keepGoing = true;
    options.toSrgb = true;
    const BatchRequest fromRecord = MakeBatchRequest(options);
    EXPECT_TRUE(fromRecord.keepTree && fromRecord.keepGoing && fromRecord.toSrgb);
    EXPECT_EQ(fromRecord.onClash, ClashRule::Number);
    OptionControls controls = ControlsShowing(options);
    controls.keepGoing = false;
    controls.toSrgb = false;
    const BatchRequest fromControls = MakeBatchRequest(options, controls);
    EXPECT_TRUE(fromControls.keepTree);
    EXPECT_FALSE(fromControls.keepGoing || fromControls.toSrgb);
    EXPECT_EQ(fromControls.onClash, ClashRule::Number);
}

}  // namespace
}  // namespace korvale
