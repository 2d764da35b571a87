// SPDX-License-Identifier: GPL-3.0-or-later
// The GUI tests run inside one QApplication on the offscreen platform.

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // Test discovery runs this binary without the test's environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // What the program remembers goes to a folder of this run, never the user's settings.
    QTemporaryDir settings;
    QApplication::setOrganizationName(QStringLiteral("KYR tests"));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
