// korvale-cli presets and options: what the window would load at start.
#include <cstdio>

#include "Commands.h"
#include "OptionStore.h"
#include "PresetStore.h"
#include "SettingsStore.h"
#include "TerminalInteraction.h"
#include "Words.h"

namespace korvale::cli {

int RunPresets(const Arguments& args) {
    if (!args.empty()) {
        return UsageError(CliText(QT_TRANSLATE_NOOP("korvale-cli", "presets takes no arguments")));
    }
    TerminalInteraction terminal;
    const LoadedPresets loaded = LoadPresets(DefaultPresetLocation(), terminal);
    for (size_t i = 0; i < loaded.presets.size(); ++i) {
        const Preset& preset = loaded.presets[i];
        std::printf("%zu\t%s\t%u\t%u\t%u\n", i, EscapeName(preset.name).c_str(), preset.width,
                    preset.height, preset.dpi);
    }
    return terminal.messageCount() == 0 ? kExitOk : kExitFailed;
}

int RunOptions(const Arguments& args) {
    if (!args.empty()) {
        return UsageError(CliText(QT_TRANSLATE_NOOP("korvale-cli", "options takes no arguments")));
    }
    TerminalInteraction terminal;
    const LoadedPresets loaded = LoadPresets(DefaultPresetLocation(), terminal);
    // Only read: the store belongs to the window program.
    const SettingsStore store = SettingsStore::ForApplication(kWindowProgramName);
    const BatchOptions options = LoadBatchOptions(store, loaded.presets.size());
    for (const StoredValue& value : StoredValuesOf(ControlsShowing(options))) {
        const OptionKey& key = kOptionKeys[value.id];
        if (key.rule == ReadRule::Text) {
            std::printf("%s=%s\n", key.name, value.text.c_str());
        } else {
            std::printf("%s=%d\n", key.name, value.number);
        }
    }
    return terminal.messageCount() == 0 ? kExitOk : kExitFailed;
}

}  // namespace korvale::cli
