// The settings store on QSettings.
#include "SettingsStore.h"

#include <QFileInfo>
#include <QSettings>
#include <QString>
#include <QVariant>

namespace korvale {
namespace {

QString KeyOf(const char* name) {
    return QStringLiteral("Settings/") + QString::fromLatin1(name);
}

}  // namespace

std::string ApplicationNameForProgram(const std::string& programPath) {
    const QFileInfo file(QString::fromLocal8Bit(programPath.c_str()));
    const QString name = file.completeBaseName();
    return (name.isEmpty() ? file.fileName() : name).toLocal8Bit().toStdString();
}

SettingsStore SettingsStore::ForApplication(const std::string& applicationName) {
    // The native format on Linux is an INI file named <application>.conf.
    return SettingsStore(std::make_unique<QSettings>(QString::fromLatin1(kSettingsOrganisation),
                                                     QString::fromStdString(applicationName)));
}

SettingsStore SettingsStore::ForFile(const std::string& path) {
    return SettingsStore(
        std::make_unique<QSettings>(QString::fromStdString(path), QSettings::IniFormat));
}

SettingsStore::SettingsStore(std::unique_ptr<QSettings> settings)
    : settings_(std::move(settings)) {}
SettingsStore::SettingsStore(SettingsStore&&) noexcept = default;
SettingsStore& SettingsStore::operator=(SettingsStore&&) noexcept = default;
SettingsStore::~SettingsStore() = default;

std::optional<int32_t> SettingsStore::ReadInt(const char* name) const {
    const QVariant value = settings_->value(KeyOf(name));
    // An INI file holds text; a list (a value with commas) is another type.
    if (!value.isValid() || value.typeId() == QMetaType::QStringList) {
        return std::nullopt;
    }
    bool ok = false;
    const int number = value.toInt(&ok);
    return ok ? std::optional<int32_t>(number) : std::nullopt;
}

std::optional<std::string> SettingsStore::ReadText(const char* name) const {
    const QVariant value = settings_->value(KeyOf(name));
    if (value.typeId() != QMetaType::QString) {
        return std::nullopt;
    }
    return value.toString().toStdString();
}

void SettingsStore::WriteInt(const char* name, int32_t value) {
    settings_->setValue(KeyOf(name), static_cast<int>(value));
}

void SettingsStore::WriteText(const char* name, const std::string& value) {
    settings_->setValue(KeyOf(name), QString::fromStdString(value));
}

void SettingsStore::Flush() {
    settings_->sync();
}

}  // namespace korvale
