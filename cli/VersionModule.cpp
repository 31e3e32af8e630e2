// The module of korvale-cli --version: names the OpenCV library actually loaded, not the
// headers compiled against, with nothing but OpenCV's core.
#include <opencv2/core/utility.hpp>

#include <cstdio>

#include "CommandModule.h"
#include "korvale/Version.h"

KORVALE_CLI_MODULE_ENTRY {
    static_cast<void>(name);
    static_cast<void>(args);
    std::printf("korvale-cli %s\nOpenCV %s\n", KORVALE_VERSION, cv::getVersionString().c_str());
    return korvale::cli::kExitOk;
}
