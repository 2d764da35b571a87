#include "app/CorrectionPage.h"

#include <QVBoxLayout>

namespace kyr::app {

CorrectionPage::CorrectionPage(AppContext context, QWidget* parent)
    : Page(context, QStringLiteral("TabSheet4"), QStringLiteral("Correction Maps"), parent)
{
    new QVBoxLayout(this);
}

} // namespace kyr::app
