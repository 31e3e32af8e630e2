// Start-up and shutdown of the window program.
#include "KorvaleApp.h"

#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>

#include "AppIcon.h"
#include "ImageEngine.h"
#include "KorvaleDlg.h"
#include "MemoryTuning.h"
#include "PresetEditDlg.h"
#include "SettingsStore.h"
#include "Translation.h"
#include "UiLanguage.h"
#include "korvale/Version.h"

namespace korvale {

bool InstallQtJapanese(QCoreApplication& app) {
    // The program speaks Japanese whatever the desktop's language, so Qt's texts must too.
    auto* translator = new QTranslator(&app);
    if (!translator->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                          QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

namespace {

// Starts loading the engine once the window has drawn itself for the first time. The loading
// holds the dynamic linker's lock until the codecs' libraries are in, and the window's own first
// plugins (input methods, image formats) must not wait for it.
class EngineAfterFirstPaint : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, [] { StartLoadingImageEngine(); });
        }
        return false;
    }
};

}  // namespace

int RunKorvaleApp(int argc, char** argv) {
    KeepImageMemoryMapped();
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Brenvik"));
    // The settings store is named after the executable, so a renamed copy keeps its own.
    QApplication::setApplicationName(
        QString::fromLocal8Bit(ApplicationNameForProgram(argv[0]).c_str()));
    // Lets the desktop match the window with its menu entry (the Wayland app id).
    QApplication::setDesktopFileName(QStringLiteral(KORVALE_APP_ID));
    QApplication::setWindowIcon(AppIcon());
    const UiLanguage language = UiLanguageOfUser();
    if (language == UiLanguage::Japanese) {
        InstallQtJapanese(app);  // without it Qt's dialogs stay in English, which still works
    }
    InstallUiTranslator(app, language);  // without it the window stays Japanese

    CKorvaleDlg::Environment environment;
    // Qt has taken its own options out of the arguments by now.
    const QStringList arguments = QApplication::arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        environment.commandLine.push_back(QFile::encodeName(arguments[i]).toStdString());
    }
    environment.editPresets = EditPresets;
    CKorvaleDlg window(std::move(environment));
    // Only a run and the preview need the engine; it loads on a thread of its own.
    EngineAfterFirstPaint engineLoading;
    window.installEventFilter(&engineLoading);
    window.exec();
    if (const ImageEngine* engine = ImageEngineIfStarted()) {
        engine->waitForWorkAhead();  // work dropped by a stop ends before the libraries go
    }
    return 0;
}

}  // namespace korvale
