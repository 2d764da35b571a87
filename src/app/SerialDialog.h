#pragma once
// The unit serial-number dialog (TSerialFrm), opened from the about box once
// its access code was accepted; the about box is disabled while it shows.

#include "app/AppContext.h"
#include "app/OwnedDialog.h"

namespace kyr::app {

class SerialDialog : public OwnedDialog {
    Q_OBJECT
public:
    /// owner is the about box.
    SerialDialog(AppContext context, QWidget* owner);

protected:
    const AppContext& context() const { return m_context; }

private:
    AppContext m_context;
};

} // namespace kyr::app
