// The per-user settings store: named integer and text values in the section "Settings", kept by
// QSettings under the organisation "Brenvik" and the program's name.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "AtomicFile.h"

class QSettings;

namespace korvale {

inline constexpr char kSettingsOrganisation[] = "Brenvik";
// The window program's name; korvale-cli reads the store of the window program.
inline constexpr char kWindowProgramName[] = "korvale";

// The store's application name for a program file: its file name without the last extension
// ("kv.test.x" gives "kv.test"); a name that is all extension is kept whole.
std::string ApplicationNameForProgram(const std::string& programPath);

class SettingsStore {
public:
    // ~/.config/Brenvik/<applicationName>.conf (or below $XDG_CONFIG_HOME).
    static SettingsStore ForApplication(const std::string& applicationName);
    // An explicit INI file, for tests.
    static SettingsStore ForFile(const std::string& path);

    SettingsStore(SettingsStore&&) noexcept;
    SettingsStore& operator=(SettingsStore&&) noexcept;
    ~SettingsStore();

    // std::nullopt when the value is absent or not a 32-bit integer.
    std::optional<int32_t> ReadInt(const char* name) const;
    // std::nullopt when the value is absent or not a single text.
    std::optional<std::string> ReadText(const char* name) const;

    // The store is written out when it is flushed or closed.
    void WriteInt(const char* name, int32_t value);
    void WriteText(const char* name, const std::string& value);
    // Writes the store out; std::nullopt when it is on disk, else which file and why not.
    std::optional<FileError> Flush();

private:
    explicit SettingsStore(std::unique_ptr<QSettings> settings);
    // A store over `path`, or, when a named pipe or other special file lies there (reading it
    // would wait for ever), one that reads nothing and writes nothing.
    static SettingsStore Guarded(const std::string& path,
                                 const std::function<std::unique_ptr<QSettings>()>& make);

    std::unique_ptr<QSettings> settings_;
    std::string unusablePath_;  // the special file in place of the store
};

}  // namespace korvale
