#include "Translation.h"

#include <QCoreApplication>
#include <QTranslator>

namespace korvale {

bool InstallUiTranslator(QCoreApplication& app, UiLanguage language) {
    if (language != UiLanguage::English) {
        return true;
    }
    auto* translator = new QTranslator(&app);
    if (!translator->load(QStringLiteral(":/i18n/korvale_en.qm"))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

}  // namespace korvale
