#include "app/FuelPage.h"

#include <QVBoxLayout>

namespace kyr::app {

FuelPage::FuelPage(AppContext context, QWidget* parent)
    : Page(context, QStringLiteral("TabSheet3"), QStringLiteral("Fuel Maps"), parent)
{
    new QVBoxLayout(this);
}

} // namespace kyr::app
