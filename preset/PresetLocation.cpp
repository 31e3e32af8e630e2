// The platform's answer to where presets live.
#include "PresetLocation.h"

#include <QFile>
#include <QStandardPaths>
#include <QString>

#include <unistd.h>

namespace korvale {

std::string ExecutableFolder() {
    std::string path(4096, '\0');
    const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0 || static_cast<size_t>(length) >= path.size()) {
        return {};
    }
    path.resize(static_cast<size_t>(length));
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

PresetLocation DefaultPresetLocation() {
    PresetLocation location;
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (!data.isEmpty()) {
        location.folder = QFile::encodeName(data).toStdString() + "/Brenvik/Korvale/";
    }
    const std::string program = ExecutableFolder();
    if (!program.empty()) {
        location.defaultFileFolders = {program, program + "../share/korvale/"};
    }
    return location;
}

}  // namespace korvale
