// The settings store on QSettings.
#include "SettingsStore.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <cerrno>

namespace korvale {
namespace {

// Present, and neither a regular file nor a folder (after links).
bool IsSpecialFile(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode);
}

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
    // The native format on Linux is an INI file named <application>.conf, read together with
    // the organisation's file and those of the system folders.
    const QStringList folders =
        QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation);
    const QString organisation = QString::fromLatin1(kSettingsOrganisation);
    const QString application = QString::fromStdString(applicationName);
    const std::string path =
        QFile::encodeName(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                          "/" + organisation + "/" + application + ".conf")
            .toStdString();
    bool fallbackSpecial = false;
    for (const QString& folder : folders) {
        for (const QString& name :
             {organisation + "/" + application + ".conf", organisation + ".conf"}) {
            fallbackSpecial = fallbackSpecial ||
                              IsSpecialFile(QFile::encodeName(folder + "/" + name).toStdString());
        }
    }
    return Guarded(path, [&]() {
        // A special file among the fallbacks would block as well: read the user's file alone.
        return fallbackSpecial ? std::make_unique<QSettings>(QFile::decodeName(path.c_str()),
                                                             QSettings::IniFormat)
                               : std::make_unique<QSettings>(organisation, application);
    });
}

SettingsStore SettingsStore::ForFile(const std::string& path) {
    return Guarded(path, [&]() {
        return std::make_unique<QSettings>(QString::fromStdString(path), QSettings::IniFormat);
    });
}

SettingsStore SettingsStore::Guarded(const std::string& path,
                                     const std::function<std::unique_ptr<QSettings>()>& make) {
    if (IsSpecialFile(path)) {
        SettingsStore store(nullptr);
        store.unusablePath_ = path;
        return store;
    }
    return SettingsStore(make());
}

SettingsStore::SettingsStore(std::unique_ptr<QSettings> settings)
    : settings_(std::move(settings)) {}
SettingsStore::SettingsStore(SettingsStore&&) noexcept = default;
SettingsStore& SettingsStore::operator=(SettingsStore&&) noexcept = default;
SettingsStore::~SettingsStore() = default;

std::optional<int32_t> SettingsStore::ReadInt(const char* name) const {
    if (!settings_) {
        return std::nullopt;
    }
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
    if (!settings_) {
        return std::nullopt;
    }
    const QVariant value = settings_->value(KeyOf(name));
    if (value.typeId() != QMetaType::QString) {
        return std::nullopt;
    }
    return value.toString().toStdString();
}

void SettingsStore::WriteInt(const char* name, int32_t value) {
    if (!settings_) {
        return;
    }
    settings_->setValue(KeyOf(name), static_cast<int>(value));
}

void SettingsStore::WriteText(const char* name, const std::string& value) {
    if (!settings_) {
        return;
    }
    settings_->setValue(KeyOf(name), QString::fromStdString(value));
}

std::optional<FileError> SettingsStore::Flush() {
    if (!settings_) {
        return FileError{ENXIO, unusablePath_, {}};
    }
    settings_->sync();
    if (settings_->status() == QSettings::NoError) {
        return std::nullopt;
    }
    // QSettings keeps no reason; the folder's is the likely one.
    const std::string path = QFile::encodeName(settings_->fileName()).toStdString();
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    if (::access(folder.c_str(), W_OK) != 0) {
        return FileError{errno, path, {}};
    }
    return FileError{0, path, Message(MessageId::SettingsWriteFailed)};
}

}  // namespace korvale
