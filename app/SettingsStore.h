// The per-user settings store: named integer and text values in the section "Settings", kept by
// QSettings under the organisation "Brenvik" and the program's name.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

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

    // Writing failures are not reported; the store is written out when it is flushed or closed.
    void WriteInt(const char* name, int32_t value);
    void WriteText(const char* name, const std::string& value);
    void Flush();

private:
    explicit SettingsStore(std::unique_ptr<QSettings> settings);
    std::unique_ptr<QSettings> settings_;
};

}  // namespace korvale
