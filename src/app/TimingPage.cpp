#include "app/TimingPage.h"

#include <QVBoxLayout>

namespace kyr::app {

TimingPage::TimingPage(AppContext context, QWidget* parent)
    : Page(context, QStringLiteral("TabSheet2"), QStringLiteral("Timing Map"), parent)
{
    new QVBoxLayout(this);
}

} // namespace kyr::app
