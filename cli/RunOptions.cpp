// The options of korvale-cli run and plan: parsing, then the window's field checks, presets and
// stored settings applied as a run applies them.
#include <map>

#include "OptionStore.h"
#include "PresetLocation.h"
#include "PresetStore.h"
#include "RunOptions.h"
#include "Text.h"
#include "Words.h"

namespace korvale::cli {
namespace {

bool ParseChoice(const std::string& text, const std::map<std::string, int>& names, int& value) {
    const auto it = names.find(text);
    if (it == names.end()) {
        return false;
    }
    value = it->second;
    return true;
}

bool ParseAnchor(const std::string& text, int& anchor) {
    static const std::map<std::string, int> kNames = {
        {"top-left", 0},    {"top-centre", 1},    {"top-center", 1},    {"top", 1},
        {"top-right", 2},   {"middle-left", 3},   {"left", 3},          {"centre", 4},
        {"center", 4},      {"middle", 4},        {"middle-right", 5},  {"right", 5},
        {"bottom-left", 6}, {"bottom-centre", 7}, {"bottom-center", 7}, {"bottom", 7},
        {"bottom-right", 8}};
    long index;
    if (ParseWholeNumber(text, 0, 8, index)) {
        anchor = static_cast<int>(index);
        return true;
    }
    return ParseChoice(text, kNames, anchor);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool ParseColour(const std::string& text, Rgb& colour) {
    if (text.size() == 7 && text[0] == '#') {
        int components[3];
        for (int i = 0; i < 3; ++i) {
            const int high = HexDigit(text[1 + 2 * i]), low = HexDigit(text[2 + 2 * i]);
            if (high < 0 || low < 0) {
                return false;
            }
            components[i] = high * 16 + low;
        }
        colour = {components[0], components[1], components[2]};
        return true;
    }
    long components[3];
    size_t start = 0;
    for (int i = 0; i < 3; ++i) {
        const size_t comma = text.find(',', start);
        const bool last = i == 2;
        if (last != (comma == std::string::npos)) {
            return false;
        }
        const std::string part = text.substr(start, last ? std::string::npos : comma - start);
        if (!ParseWholeNumber(part, 0, 255, components[i])) {
            return false;
        }
        start = comma + 1;
    }
    colour = {static_cast<int>(components[0]), static_cast<int>(components[1]),
              static_cast<int>(components[2])};
    return true;
}

}  // namespace

std::string ParseRunArguments(const Arguments& args, RunFlags& flags) {
    for (size_t i = 0; i < args.size(); ++i) {
        std::string option = args[i];
        if (option == "--") {
            flags.files.insert(flags.files.end(), args.begin() + static_cast<long>(i) + 1,
                               args.end());
            break;
        }
        if (option == "-0") {
            flags.list.nul = true;
            continue;
        }
        if (option.size() < 2 || option.compare(0, 2, "--") != 0) {
            flags.files.push_back(option);
            continue;
        }
        std::string value;
        bool hasValue = false;
        if (const size_t equals = option.find('='); equals != std::string::npos) {
            value = option.substr(equals + 1);
            option.resize(equals);
            hasValue = true;
        }
        const auto needValue = [&](std::string& out) -> bool {
            if (hasValue) {
                out = value;
                return true;
            }
            if (i + 1 >= args.size()) {
                return false;
            }
            out = args[++i];
            return true;
        };
        long number;
        std::string text;
        if (option == "--keep-aspect" && !hasValue) {
            flags.keepAspect = true;
        } else if (option == "--settings" && !hasValue) {
            flags.settings = true;
        } else if (option == "--quiet" && !hasValue) {
            flags.quiet = true;
        } else if (option == "--mkdir" && !hasValue) {
            flags.makeFolder = true;
        } else if (option == "--keep-tree" && !hasValue) {
            flags.keepTree = true;
        } else if (option == "--keep-going" && !hasValue) {
            flags.keepGoing = true;
        } else if (option == "--to-srgb" && !hasValue) {
            flags.toSrgb = true;
        } else if (option == "--recursive" && !hasValue) {
            flags.recursive = true;
        } else if (option == "--null" && !hasValue) {
            flags.list.nul = true;
        } else if (option == "--json" && !hasValue) {
            flags.json = true;
        } else if (!needValue(text)) {
            return CliText(QT_TRANSLATE_NOOP("korvale-cli", "%1 needs a value"), {option});
        } else if (option == "--width" || option == "--height" || option == "--dpi") {
            // The window's fields take digits only; their range is checked as the window does.
            if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) {
                return CliText(
                    QT_TRANSLATE_NOOP("korvale-cli", "%1 takes a whole number, not '%2'"),
                    {option, text});
            }
            (option == "--width"    ? flags.width
             : option == "--height" ? flags.height
                                    : flags.dpi) = text;
        } else if (option == "--files-from") {
            if (text.empty()) {
                return CliText(QT_TRANSLATE_NOOP(
                    "korvale-cli", "--files-from needs a FILE ('-' for standard input)"));
            }
            flags.list.filesFrom = text;
        } else if (option == "--shard") {
            if (std::string error = ParseShard(text, flags.list.shard); !error.empty()) {
                return error;
            }
            flags.list.sharded = true;
        } else if (option == "--failed-list") {
            if (text.empty()) {
                return CliText(QT_TRANSLATE_NOOP("korvale-cli", "--failed-list needs a FILE"));
            }
            flags.failedList = text;
        } else if (option == "--preset") {
            flags.preset = text;
        } else if (option == "--output") {
            flags.output = text;
        } else if (option == "--method") {
            int method;
            if (!ParseChoice(text, {{"resize", 0}, {"crop", 1}, {"dpi-only", 2}}, method)) {
                return CliText(QT_TRANSLATE_NOOP("korvale-cli",
                                                 "--method is resize, crop or dpi-only, not '%1'"),
                               {text});
            }
            flags.method = static_cast<BatchMethod>(method);
        } else if (option == "--interpolation") {
            int choice;
            if (!ParseChoice(
                    text,
                    {{"nearest", 0}, {"area", 1}, {"bilinear", 2}, {"bicubic", 3}, {"lanczos4", 4}},
                    choice)) {
                return CliText(QT_TRANSLATE_NOOP("korvale-cli",
                                                 "--interpolation is nearest, area, bilinear, "
                                                 "bicubic or lanczos4, not '%1'"),
                               {text});
            }
            flags.interpolation = choice;
        } else if (option == "--anchor") {
            int anchor;
            if (!ParseAnchor(text, anchor)) {
                return CliText(QT_TRANSLATE_NOOP("korvale-cli",
                                                 "--anchor is 0 to 8 or a name such as top-left, "
                                                 "centre or bottom-right, not '%1'"),
                               {text});
            }
            flags.anchor = anchor;
        } else if (option == "--margin") {
            Rgb colour;
            if (!ParseColour(text, colour)) {
                return CliText(
                    QT_TRANSLATE_NOOP("korvale-cli",
                                      "--margin is R,G,B (0 to 255 each) or #RRGGBB, not '%1'"),
                    {text});
            }
            flags.margin = colour;
        } else if (option == "--format") {
            int format;
            if (!ParseChoice(text,
                             {{"bmp", 0},
                              {"jpeg", 1},
                              {"jpg", 1},
                              {"source", 2},
                              {"png", 3},
                              {"tiff", 4},
                              {"tif", 4},
                              {"webp", 5},
                              {"avif", 6}},
                             format)) {
                return CliText(
                    QT_TRANSLATE_NOOP(
                        "korvale-cli",
                        "--format is bmp, jpeg, png, tiff, webp, avif or source, not '%1'"),
                    {text});
            }
            flags.format = static_cast<SaveFormat>(format);
        } else if (option == "--metadata") {
            int policy;
            if (!ParseChoice(text, {{"none", 0}, {"no-gps", 1}, {"all", 2}}, policy)) {
                return CliText(
                    QT_TRANSLATE_NOOP("korvale-cli", "--metadata is none, no-gps or all, not '%1'"),
                    {text});
            }
            flags.metadata = static_cast<MetadataPolicy>(policy);
        } else if (option == "--quality") {
            if (!ParseWholeNumber(text, 0, 100, number)) {
                return CliText(
                    QT_TRANSLATE_NOOP("korvale-cli",
                                      "--quality takes a whole number from 0 to 100, not '%1'"),
                    {text});
            }
            flags.quality = static_cast<int>(number);
        } else if (option == "--overwrite") {
            int mode;
            if (!ParseChoice(text,
                             {{"ask", 0}, {"all", 1}, {"skip", 2}, {"cancel", 3}, {"newer", 4}},
                             mode)) {
                return CliText(
                    QT_TRANSLATE_NOOP("korvale-cli",
                                      "--overwrite is ask, all, skip, cancel or newer, not '%1'"),
                    {text});
            }
            flags.overwrite = static_cast<OverwriteMode>(mode);
        } else if (option == "--on-clash") {
            int rule;
            if (!ParseChoice(text, {{"refuse", 0}, {"number", 1}}, rule)) {
                return CliText(
                    QT_TRANSLATE_NOOP("korvale-cli", "--on-clash is refuse or number, not '%1'"),
                    {text});
            }
            flags.onClash = static_cast<ClashRule>(rule);
        } else {
            return CliText(QT_TRANSLATE_NOOP("korvale-cli", "unknown option %1"), {option});
        }
    }
    if (!flags.list.filesFrom.empty() && !flags.files.empty()) {
        return CliText(QT_TRANSLATE_NOOP(
            "korvale-cli", "--files-from takes the files from its list; name no FILE beside it"));
    }
    if (!flags.list.filesFrom.empty() && flags.recursive) {
        return CliText(QT_TRANSLATE_NOOP(
            "korvale-cli",
            "--recursive does not apply to --files-from (list the files, as find -print0 does)"));
    }
    if (flags.list.nul && flags.list.filesFrom.empty() && !flags.failedList) {
        return CliText(
            QT_TRANSLATE_NOOP("korvale-cli", "-0 applies to --files-from and --failed-list"));
    }
    return {};
}

namespace {

const char* OptionOfField(int field) {
    switch (field) {
        case kTargetWidthField:
            return "--width";
        case kTargetHeightField:
            return "--height";
        case kTargetDpiField:
            return "--dpi";
        default:
            return "--output";
    }
}

}  // namespace

std::optional<int> ResolveRunOptions(const RunFlags& flags, UserInteraction& ui,
                                     BatchOptions& options) {
    PresetList presets;
    if (flags.settings || flags.preset) {
        presets = LoadPresets(DefaultPresetLocation(), ui).presets;
    }
    if (flags.settings) {
        options =
            LoadBatchOptions(SettingsStore::ForApplication(kWindowProgramName), presets.size());
    } else {
        // A command line states what it applies; the other targets stay as they are.
        options.applyWidth = options.applyHeight = options.applyDpi = false;
    }
    OptionControls controls = ControlsShowing(options);
    if (flags.preset) {
        const auto preset = std::find_if(presets.begin(), presets.end(),
                                         [&](const Preset& p) { return p.name == *flags.preset; });
        if (preset == presets.end()) {
            return UsageError(CliText(QT_TRANSLATE_NOOP("korvale-cli", "no preset is named '%1'"),
                                      {*flags.preset}));
        }
        controls.widthText = FormatText("%u", preset->width);
        controls.heightText = FormatText("%u", preset->height);
        controls.dpiText = FormatText("%u", preset->dpi);
        controls.applyWidth = controls.applyHeight = controls.applyDpi = true;
    }
    const std::pair<const std::optional<std::string>&, bool*> targets[] = {
        {flags.width, &controls.applyWidth},
        {flags.height, &controls.applyHeight},
        {flags.dpi, &controls.applyDpi}};
    std::string* const texts[] = {&controls.widthText, &controls.heightText, &controls.dpiText};
    for (int t = 0; t < 3; ++t) {
        if (targets[t].first) {
            *texts[t] = *targets[t].first;
            *targets[t].second = true;
        }
    }
    if (flags.output) {
        controls.folderText = *flags.output;
    }
    controls.keepAspect = controls.keepAspect || flags.keepAspect;
    if (const auto error = ExchangeOptionsFromControls(controls, options)) {
        ui.ShowMessage(std::string(OptionOfField(error->field)) + ": " + error->message,
                       MessageIcon::None);
        return kExitFailed;
    }
    if (flags.method) {
        options.dpiOnly = *flags.method == BatchMethod::DpiOnly;
        if (!options.dpiOnly) {
            options.method = *flags.method;
        }
    }
    options.metadata = flags.metadata.value_or(options.metadata);
    options.interpolation = static_cast<InterpolationChoice>(
        flags.interpolation.value_or(static_cast<int>(options.interpolation)));
    options.anchor = flags.anchor.value_or(options.anchor);
    options.saveFormat = flags.format.value_or(options.saveFormat);
    options.jpegQuality = flags.quality.value_or(options.jpegQuality);
    options.keepTree = options.keepTree || flags.keepTree;
    options.onClash = flags.onClash.value_or(options.onClash);
    options.keepGoing = options.keepGoing || flags.keepGoing;
    options.toSrgb = options.toSrgb || flags.toSrgb;
    if (flags.margin) {
        options.marginRed = flags.margin->red;
        options.marginGreen = flags.margin->green;
        options.marginBlue = flags.margin->blue;
    }
    return std::nullopt;
}

}  // namespace korvale::cli
