// Start-up and shutdown of the window program.
#include "KorvaleApp.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>

#include "AppIcon.h"
#include "KorvaleDlg.h"
#include "MemoryTuning.h"
#include "PresetEditDlg.h"
#include "WorkAhead.h"

namespace korvale {

int RunKorvaleApp(int argc, char** argv) {
    KeepImageMemoryMapped();
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Brenvik"));
    // The settings store is named after the executable, so a renamed copy keeps its own.
    QApplication::setApplicationName(QFileInfo(QString::fromLocal8Bit(argv[0])).baseName());
    QApplication::setWindowIcon(AppIcon());

    CKorvaleDlg::Environment environment;
    // Qt has taken its own options out of the arguments by now.
    const QStringList arguments = QApplication::arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        environment.commandLine.push_back(QFile::encodeName(arguments[i]).toStdString());
    }
    environment.editPresets = EditPresets;
    CKorvaleDlg window(std::move(environment));
    window.exec();
    WaitForWorkAhead();  // work dropped by a stop ends before the libraries are torn down
    return 0;
}

}  // namespace korvale
