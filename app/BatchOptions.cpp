// The exchange between the options record and the controls.
#include "BatchOptions.h"

#include "FieldValidation.h"
#include "Text.h"
#include "Words.h"

namespace korvale {

OptionControls ControlsShowing(const BatchOptions& options) {
    OptionControls controls;
    ExchangeOptionsToControls(options, controls);
    controls.methodIndex = static_cast<int>(options.method);
    controls.interpolationIndex = static_cast<int>(options.interpolation);
    controls.anchorIndex = options.anchor;
    controls.presetIndex = options.presetIndex;
    controls.saveFormatIndex = static_cast<int>(options.saveFormat);
    controls.dpiOnly = options.dpiOnly;
    controls.metadataIndex = static_cast<int>(options.metadata);
    controls.keepTree = options.keepTree;
    controls.clashIndex = static_cast<int>(options.onClash);
    controls.keepGoing = options.keepGoing;
    controls.toSrgb = options.toSrgb;
    controls.marginRed = options.marginRed;
    controls.marginGreen = options.marginGreen;
    controls.marginBlue = options.marginBlue;
    controls.jpegQuality = options.jpegQuality;
    return controls;
}

void ExchangeOptionsToControls(const BatchOptions& options, OptionControls& controls) {
    controls.widthText = FormatText("%d", options.targetWidth);
    controls.heightText = FormatText("%d", options.targetHeight);
    controls.folderText = options.outputFolder;
    controls.dpiText = FormatText("%u", options.targetDpi);
    controls.keepAspect = options.keepAspect;
    controls.applyWidth = options.applyWidth;
    controls.applyHeight = options.applyHeight;
    controls.applyDpi = options.applyDpi;
}

std::optional<OptionFieldError> ExchangeOptionsFromControls(const OptionControls& controls,
                                                            BatchOptions& options) {
    BatchOptions updated = options;
    if (auto prompt = CheckIntField(controls.widthText, kTargetMinSize, kTargetMaxSize,
                                    updated.targetWidth)) {
        return OptionFieldError{kTargetWidthField, Words(*prompt)};
    }
    if (auto prompt = CheckIntField(controls.heightText, kTargetMinSize, kTargetMaxSize,
                                    updated.targetHeight)) {
        return OptionFieldError{kTargetHeightField, Words(*prompt)};
    }
    if (auto prompt = CheckTextLength(controls.folderText, kOutputFolderMaxCharacters)) {
        return OptionFieldError{kOutputFolderField, Words(*prompt)};
    }
    updated.outputFolder = controls.folderText;
    if (auto prompt = CheckUnsignedField(controls.dpiText, 0, kTargetMaxDpi, updated.targetDpi)) {
        return OptionFieldError{kTargetDpiField, Words(*prompt)};
    }
    updated.keepAspect = controls.keepAspect;
    updated.applyWidth = controls.applyWidth;
    updated.applyHeight = controls.applyHeight;
    updated.applyDpi = controls.applyDpi;
    options = std::move(updated);
    return std::nullopt;
}

BatchRequest MakeBatchRequest(const BatchOptions& options) {
    BatchRequest request;
    request.targetWidth = options.targetWidth;
    request.targetHeight = options.targetHeight;
    request.targetDpi = options.targetDpi;
    request.applyWidth = options.applyWidth;
    request.applyHeight = options.applyHeight;
    request.applyDpi = options.applyDpi;
    request.keepAspect = options.keepAspect;
    request.margin = {options.marginRed, options.marginGreen, options.marginBlue};
    request.jpegQuality = options.jpegQuality;
    request.outputFolder = options.outputFolder;
    request.interpolation = static_cast<int>(options.interpolation);
    request.anchor = options.anchor;
    request.method = options.dpiOnly ? BatchMethod::DpiOnly : options.method;
    request.saveFormat = options.saveFormat;
    request.metadata = options.metadata;
    request.keepTree = options.keepTree;
    request.onClash = options.onClash;
    request.keepGoing = options.keepGoing;
    request.toSrgb = options.toSrgb;
    return request;
}

BatchRequest MakeBatchRequest(const BatchOptions& options, const OptionControls& controls) {
    // The record's values, with the choices that the exchange does not take into it as the
    // controls show them.
    BatchRequest request = MakeBatchRequest(options);
    request.interpolation = controls.interpolationIndex;
    request.anchor = controls.anchorIndex;
    request.method = controls.dpiOnly            ? BatchMethod::DpiOnly
                     : controls.methodIndex == 0 ? BatchMethod::Resize
                                                 : BatchMethod::CropPaste;
    request.saveFormat = controls.saveFormatIndex >= 0
                             ? static_cast<SaveFormat>(controls.saveFormatIndex)
                             : SaveFormat::SameAsSource;
    request.metadata = controls.metadataIndex >= 0
                           ? static_cast<MetadataPolicy>(controls.metadataIndex)
                           : options.metadata;
    request.keepTree = controls.keepTree;
    request.onClash =
        controls.clashIndex >= 0 ? static_cast<ClashRule>(controls.clashIndex) : options.onClash;
    request.keepGoing = controls.keepGoing;
    request.toSrgb = controls.toSrgb;
    return request;
}

void TakeChoices(const OptionControls& controls, BatchOptions& options) {
    if (!controls.dpiOnly) {
        options.method = controls.methodIndex == 0 ? BatchMethod::Resize : BatchMethod::CropPaste;
    }
    options.keepAspect = controls.keepAspect;
    options.applyWidth = controls.applyWidth;
    options.applyHeight = controls.applyHeight;
    options.applyDpi = controls.applyDpi;
}

}  // namespace korvale
