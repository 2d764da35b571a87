// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/common/Page.h"

namespace kyr::app {

Page::Page(AppContext context, const QString& objectName, const QString& caption, QWidget* parent)
    : QWidget(parent), m_context(context), m_caption(caption)
{
    setObjectName(objectName);
}

bool Page::previewKey(QKeyEvent*) { return false; }

} // namespace kyr::app
