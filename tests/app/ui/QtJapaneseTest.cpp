// Qt's own dialogs and standard buttons speak Japanese once the program has loaded Qt's
// translation, as the user sees them: widget-based file, folder and colour dialogs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLibraryInfo>
#include <QPushButton>
#include <QStringList>

#include "KorvaleApp.h"

namespace korvale {
namespace {

QStringList ButtonTexts(const QWidget& dialog) {
    QStringList texts;
    for (const QPushButton* button : dialog.findChildren<QPushButton*>()) {
        texts << button->text().remove(QLatin1Char('&'));
    }
    return texts;
}

TEST(QtJapanese, TranslationIsInstalledAndLoaded) {
    ASSERT_TRUE(InstallQtJapanese(*qApp))
        << "qtbase_ja.qm missing in "
        << QLibraryInfo::path(QLibraryInfo::TranslationsPath).toStdString()
        << " (Debian package qt6-translations-l10n)";

    QDialogButtonBox box(QDialogButtonBox::Open | QDialogButtonBox::Cancel);
    const QStringList standard = ButtonTexts(box);
    EXPECT_TRUE(standard.filter(QStringLiteral("開く")).size() == 1)
        << standard.join(' ').toStdString();
    EXPECT_TRUE(standard.filter(QStringLiteral("キャンセル")).size() == 1)
        << standard.join(' ').toStdString();

    QFileDialog files;
    files.setOption(QFileDialog::DontUseNativeDialog);
    files.setFileMode(QFileDialog::ExistingFiles);
    const QStringList fileButtons = ButtonTexts(files);
    EXPECT_FALSE(fileButtons.filter(QStringLiteral("開く")).isEmpty())
        << fileButtons.join(' ').toStdString();
    EXPECT_TRUE(fileButtons.filter(QStringLiteral("Open")).isEmpty())
        << fileButtons.join(' ').toStdString();

    QColorDialog colours;
    colours.setOption(QColorDialog::DontUseNativeDialog);
    const QStringList colourButtons = ButtonTexts(colours);
    EXPECT_FALSE(colourButtons.filter(QStringLiteral("キャンセル")).isEmpty())
        << colourButtons.join(' ').toStdString();
    EXPECT_TRUE(colourButtons.filter(QStringLiteral("Cancel")).isEmpty())
        << colourButtons.join(' ').toStdString();
}

}  // namespace
}  // namespace korvale
