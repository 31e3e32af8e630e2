// The about box: the program's version and the OpenCV version actually linked.
#pragma once

#include <QCoreApplication>
#include <QDialog>

namespace korvale {

class CAboutDlg : public QDialog {
    Q_DECLARE_TR_FUNCTIONS(korvale::CAboutDlg)

public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

// "Korvale Ver. 1.2.0.3" and "Powered by OpenCV <linked version>".
QString VersionLine();
QString OpenCvLine();

}  // namespace korvale
