// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/window/RecentFiles.h"

#include "app/window/EFICom.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QTabWidget>

namespace kyr::app::window {

namespace {

const QString RecentKey = QStringLiteral("RecentFiles");
const QString GeometryKey = QStringLiteral("Window/Geometry");
const QString PageKey = QStringLiteral("Window/Page");

QTabWidget* pagesOf(const EFICom& window)
{
    return window.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
}

} // namespace

QStringList RecentFiles::list()
{
    QStringList shown;
    for (const QString& path : QSettings().value(RecentKey).toStringList())
        if (QFileInfo::exists(path))
            shown << path;
    return shown;
}

void RecentFiles::add(const QString& path)
{
    const QString full = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    QSettings settings;
    QStringList files = settings.value(RecentKey).toStringList();
    files.removeAll(full);
    files.prepend(full);
    while (files.size() > Kept)
        files.removeLast();
    settings.setValue(RecentKey, files);
}

void WindowMemory::restore(EFICom& window)
{
    const QSettings settings;
    if (settings.contains(GeometryKey))
        window.restoreGeometry(settings.value(GeometryKey).toByteArray());
    if (QTabWidget* pages = pagesOf(window)) {
        const int page = settings.value(PageKey, 0).toInt();
        if (page >= 0 && page < pages->count())
            pages->setCurrentIndex(page);
    }
}

void WindowMemory::remember(const EFICom& window)
{
    QSettings settings;
    settings.setValue(GeometryKey, window.saveGeometry());
    if (const QTabWidget* pages = pagesOf(window))
        settings.setValue(PageKey, pages->currentIndex());
}

} // namespace kyr::app::window
