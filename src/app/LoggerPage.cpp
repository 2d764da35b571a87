#include "app/LoggerPage.h"

#include <QVBoxLayout>

namespace kyr::app {

LoggerPage::LoggerPage(AppContext context, QWidget* parent)
    : Page(context, QStringLiteral("TabSheet5"), QStringLiteral("Data Logger"), parent)
{
    new QVBoxLayout(this);
}

} // namespace kyr::app
