// Widget tests in the user's language: the window program's translator, installed from the
// environment (LANG and the like) once the QApplication exists, as the program installs it.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>

#include "Translation.h"
#include "UiLanguage.h"

namespace korvale::test {

class UiTranslation : public ::testing::Environment {
public:
    void SetUp() override {
        ASSERT_TRUE(InstallUiTranslator(*QCoreApplication::instance(), UiLanguageOfUser()));
    }
};

inline ::testing::Environment* const kUiTranslation =
    ::testing::AddGlobalTestEnvironment(new UiTranslation);

}  // namespace korvale::test
