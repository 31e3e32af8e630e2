// The about box.
#include "AboutDlg.h"

#include <QLabel>
#include <QPushButton>
#include "AppIcon.h"
#include "DialogLayout.h"
#include "ImageEngine.h"
#include "korvale/Version.h"

namespace korvale {

QString VersionLine() {
    return QStringLiteral("Korvale Ver. " KORVALE_VERSION);
}

QString OpenCvLine() {
    // The engine module holds the image library; the window itself does not link it.
    const ImageEngine* engine = LoadedImageEngine();
    return QStringLiteral("Powered by OpenCV") +
           (engine != nullptr ? QStringLiteral(" ") + QString::fromUtf8(engine->openCvVersion())
                              : QString());
}

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    setWindowTitle(tr("Korvale について"));
    setWindowIcon(AppIcon());
    const ui::DialogUnits units = ui::PrepareDialog(this, 184, 86);
    auto* icon = new QLabel(this);
    ui::Place(icon, units, 14, 14, 20, 20);
    auto* version = new QLabel(VersionLine(), this);
    ui::Place(version, units, 42, 14, 114, 8);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ui::SetControlId(ok, 1);
    ui::Place(ok, units, 128, 68, 50, 14);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* opencv = new QLabel(OpenCvLine(), this);
    ui::Place(opencv, units, 16, 48, 114, 8);
    ui::FitDialog(this, units, 184, 86);
    icon->setPixmap(AppIcon().pixmap(std::min(icon->width(), icon->height())));
    ok->setFocus();
}

}  // namespace korvale
