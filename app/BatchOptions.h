// The batch options: the record the main window owns, the values as its controls show them, and
// the exchange between the two with the validation of the typed fields.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "BatchRequest.h"  // BatchMethod, SaveFormat
#include "Geometry.h"      // kAnchorCount

// Marks a text for the window's translation without making this header depend on Qt.
#ifndef QT_TRANSLATE_NOOP
#define QT_TRANSLATE_NOOP(scope, x) x  // as Qt defines it, so either may come first
#endif

namespace korvale {

// Index of the interpolation list; the conversion maps it to an OpenCV flag.
enum class InterpolationChoice : int32_t {
    NearestNeighbor = 0,
    Area = 1,
    Bilinear = 2,
    Bicubic = 3,
    Lanczos4 = 4,
};

// List entries in index order.
inline constexpr const char* kInterpolationNames[] = {"Nearest neighbor", "Area", "Bilinear",
                                                      "Bicubic", "Lanczos4"};
// Entries of the metadata list in MetadataPolicy order.
// The window shows these through its translation, in the context "korvale::BatchOptions".
inline constexpr const char* kMetadataNames[] = {
    QT_TRANSLATE_NOOP("korvale::BatchOptions", "削除"),
    QT_TRANSLATE_NOOP("korvale::BatchOptions", "位置情報以外を保持"),
    QT_TRANSLATE_NOOP("korvale::BatchOptions", "すべて保持")};
inline constexpr const char* kAnchorNames[] = {QT_TRANSLATE_NOOP("korvale::BatchOptions", "左上"),
                                               QT_TRANSLATE_NOOP("korvale::BatchOptions", "中上"),
                                               QT_TRANSLATE_NOOP("korvale::BatchOptions", "右上"),
                                               QT_TRANSLATE_NOOP("korvale::BatchOptions", "左中"),
                                               QT_TRANSLATE_NOOP("korvale::BatchOptions", "中央"),
                                               QT_TRANSLATE_NOOP("korvale::BatchOptions", "右中"),
                                               QT_TRANSLATE_NOOP("korvale::BatchOptions", "左下"),
                                               QT_TRANSLATE_NOOP("korvale::BatchOptions", "中下"),
                                               QT_TRANSLATE_NOOP("korvale::BatchOptions", "右下")};

constexpr int32_t kInterpolationCount = 5;
constexpr int32_t kAnchorCentre = 4;
constexpr int32_t kMetadataCount = 3;
constexpr int32_t kTargetMinSize = 32;
constexpr int32_t kTargetMaxSize = 65535;
constexpr uint32_t kTargetMaxDpi = 10000;
constexpr int32_t kMarginMax = 255;
constexpr int32_t kJpegQualityMax = 100;
constexpr size_t kOutputFolderMaxCharacters = 512;

// Identifiers of the fields that the exchange validates.
constexpr int kTargetWidthField = 1007;
constexpr int kTargetHeightField = 1008;
constexpr int kOutputFolderField = 1015;
constexpr int kTargetDpiField = 1020;

struct BatchOptions {
    BatchMethod method = kOptionDefaults.method;
    InterpolationChoice interpolation =
        static_cast<InterpolationChoice>(kOptionDefaults.interpolation);
    bool keepAspect = kOptionDefaults.keepAspect;
    int32_t anchor = kOptionDefaults.anchor;
    int32_t marginRed = kOptionDefaults.marginComponent;
    int32_t marginGreen = kOptionDefaults.marginComponent;
    int32_t marginBlue = kOptionDefaults.marginComponent;
    bool applyWidth = kOptionDefaults.applyWidth;
    bool applyHeight = kOptionDefaults.applyHeight;
    bool applyDpi = kOptionDefaults.applyDpi;
    int32_t targetWidth = kOptionDefaults.targetWidth;
    int32_t targetHeight = kOptionDefaults.targetHeight;
    uint32_t targetDpi = kOptionDefaults.targetDpi;
    int32_t presetIndex = 0;  // -1 when there are no presets to select
    SaveFormat saveFormat = kOptionDefaults.saveFormat;
    int32_t jpegQuality = kOptionDefaults.jpegQuality;
    std::string outputFolder;  // UTF-8
    // The third method; `method` keeps the scaling method chosen before it, which is what
    // `Mode` stores, so that a program without this method reads a store sanely.
    bool dpiOnly = kOptionDefaults.dpiOnly;
    MetadataPolicy metadata = kOptionDefaults.metadata;
    bool keepTree = kOptionDefaults.keepTree;
    ClashRule onClash = kOptionDefaults.onClash;
    bool keepGoing = kOptionDefaults.keepGoing;
    bool toSrgb = kOptionDefaults.toSrgb;
};

// Entries of the list of what to do with outputs that share a name, in ClashRule order.
inline constexpr const char* kClashRuleNames[] = {
    QT_TRANSLATE_NOOP("korvale::BatchOptions", "確認する"),
    QT_TRANSLATE_NOOP("korvale::BatchOptions", "連番を付ける")};
constexpr int32_t kClashRuleCount = 2;

// The options as the main window's controls show them; the window maps these one to one onto
// its widgets. An index of -1 means nothing is selected.
struct OptionControls {
    std::string widthText;    // field 1007
    std::string heightText;   // field 1008
    std::string dpiText;      // field 1020
    std::string folderText;   // field 1015
    bool keepAspect = false;  // check box 1055
    bool applyWidth = false;  // check boxes 1057, 1058, 1059
    bool applyHeight = false;
    bool applyDpi = false;
    int methodIndex = -1;         // 0: radio 1024 (resize), 1: radio 1025 (crop and paste)
    int interpolationIndex = -1;  // list 1022
    int anchorIndex = -1;         // list 1026
    int presetIndex = -1;         // list 1034
    int saveFormatIndex = -1;     // 0, 1, 2: radios 1037 "BMP", 1038 "JPEG", 1039 "元と同じ";
                                  // 3, 4: radios 1067 "PNG", 1068 "TIFF"
    bool dpiOnly = false;         // radio 1065 (then methodIndex is the method chosen before)
    int metadataIndex = -1;       // list 1066
    bool keepTree = false;        // check box 1070 "フォルダ構成を保持"
    int clashIndex = -1;          // list 1072 (ClashRule)
    bool keepGoing = false;       // check box 1073 "エラーがあっても続行"
    bool toSrgb = false;          // check box 1074 "sRGBに変換"
    // Shown by the swatch and the slider, changed only through the record.
    int32_t marginRed = 255;
    int32_t marginGreen = 255;
    int32_t marginBlue = 255;
    int32_t jpegQuality = 95;
};

// Every control as it shows the record.
OptionControls ControlsShowing(const BatchOptions& options);

// Record to controls: the width and height as "%d", the DPI as "%u", the folder, and the four
// ticks. The other controls are left alone.
void ExchangeOptionsToControls(const BatchOptions& options, OptionControls& controls);

struct OptionFieldError {
    int field = 0;  // kTargetWidthField, kTargetHeightField, kOutputFolderField or kTargetDpiField
    std::string message;  // the prompt to show before the focus moves, in the user's words
};

// Controls to record, checking width, height, folder and DPI in that order. At the first
// refused field the error is returned and the record is left unchanged; otherwise the record
// takes the three numbers, the folder and the four ticks.
std::optional<OptionFieldError> ExchangeOptionsFromControls(const OptionControls& controls,
                                                            BatchOptions& options);

// What a batch run needs from the record (after a successful exchange from the controls).
BatchRequest MakeBatchRequest(const BatchOptions& options);
// The window's request, built once: the record's numbers, folder, ticks, colour and quality,
// with the method, format and list choices as `controls` show them (a list without a selection
// gives -1, which the run refuses; the metadata list without one keeps the record's policy).
BatchRequest MakeBatchRequest(const BatchOptions& options, const OptionControls& controls);

// What the record keeps of a click on a method radio or a tick box: the scaling method (kept
// while DPI only is selected, as the store keeps it) and the four ticks, whether or not their
// boxes can be used.
void TakeChoices(const OptionControls& controls, BatchOptions& options);

}  // namespace korvale
