#include "app/MonitorPage.h"

#include <QVBoxLayout>

namespace kyr::app {

MonitorPage::MonitorPage(AppContext context, QWidget* parent)
    : Page(context, QStringLiteral("TabSheet6"), QStringLiteral("Engine Monitor"), parent)
{
    new QVBoxLayout(this);
}

} // namespace kyr::app
