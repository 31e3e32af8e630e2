// The program icon: the installed theme icon wins, and the drawn fallback matches the drawing
// that is installed.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QTemporaryDir>
#include <cstdlib>

#include "AppIcon.h"
#include "korvale/Version.h"

namespace korvale {
namespace {

QColor CentreOf(const QIcon& icon, int size) {
    return icon.pixmap(size).toImage().pixelColor(size / 2, size / 8);
}

// An icon theme in a temporary folder, holding the program's icon in one flat colour.
void MakeTheme(const QString& root, const QColor& colour) {
    ASSERT_TRUE(QDir().mkpath(root + "/hicolor/48x48/apps"));
    QFile index(root + "/hicolor/index.theme");
    ASSERT_TRUE(index.open(QIODevice::WriteOnly));
    index.write(
        "[Icon Theme]\nName=Hicolor\nDirectories=48x48/apps\n\n"
        "[48x48/apps]\nSize=48\nType=Fixed\n");
    index.close();
    QImage image(48, 48, QImage::Format_ARGB32);
    image.fill(colour);
    ASSERT_TRUE(image.save(root + "/hicolor/48x48/apps/" KORVALE_APP_ID ".png"));
}

TEST(AppIcon, TheInstalledThemeIconWinsOverTheDrawnOne) {
    const QStringList oldPaths = QIcon::themeSearchPaths();
    const QString oldTheme = QIcon::themeName();
    QTemporaryDir installed;
    QTemporaryDir empty;
    MakeTheme(installed.path(), Qt::red);

    QIcon::setThemeName(QStringLiteral("hicolor"));
    QIcon::setThemeSearchPaths({installed.path()});
    EXPECT_EQ(CentreOf(AppIcon(), 48), QColor(Qt::red));

    QIcon::setThemeSearchPaths({empty.path()});
    EXPECT_EQ(CentreOf(AppIcon(), 48), CentreOf(DrawnAppIcon(), 48));
    EXPECT_NE(CentreOf(AppIcon(), 48), QColor(Qt::red));

    QIcon::setThemeSearchPaths(oldPaths);
    QIcon::setThemeName(oldTheme);
}

TEST(AppIcon, TheInstalledDrawingLooksLikeTheDrawnIcon) {
    const QImage installed(QStringLiteral(KORVALE_INSTALLED_ICON_PNG));
    ASSERT_FALSE(installed.isNull());
    const QImage drawn = DrawnAppIcon().pixmap(256).toImage().convertToFormat(installed.format());
    ASSERT_EQ(drawn.size(), installed.size());
    // Antialiasing differs between the renderers; a changed design differs everywhere.
    double difference = 0;
    for (int y = 0; y < drawn.height(); ++y) {
        for (int x = 0; x < drawn.width(); ++x) {
            const QColor a = drawn.pixelColor(x, y);
            const QColor b = installed.pixelColor(x, y);
            difference += std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
                          std::abs(a.blue() - b.blue()) + std::abs(a.alpha() - b.alpha());
        }
    }
    EXPECT_LT(difference / (drawn.width() * drawn.height() * 4), 0.5);
}

}  // namespace
}  // namespace korvale
