// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One tabbed page of the main window. The window composes the pages and
// knows nothing of what is on them: each page builds its own controls, reads
// the TuneModel (and follows its signals), and posts its commands to the
// LinkWorker. Controls keep their form names as object names ("Edit12"),
// because the link sequences enable and check them by name.

#include "app/common/AppContext.h"

#include <QString>
#include <QWidget>

#include <vector>

class QKeyEvent;

namespace kyr::app::maps {
class MapChartView;
}

namespace kyr::app {

class Page : public QWidget {
    Q_OBJECT
public:
    /// objectName is the page's form name ("TabSheet1"), caption its tab text.
    Page(AppContext context, const QString& objectName, const QString& caption, QWidget* parent = nullptr);

    /// The tab text.
    const QString& caption() const { return m_caption; }
    /// The charts that "Print" puts on paper after the timing chart while
    /// this page is shown; none on a page without charts.
    virtual std::vector<maps::MapChartView*> chartsToPrint() const { return {}; }
    /// Every key pressed in the main window reaches the shown page first (the
    /// window's key preview); true takes the key from the focused control.
    virtual bool previewKey(QKeyEvent* event);

signals:
    /// A text for the window's status bar (a refused entry, and why).
    void statusText(const QString& text);

protected:
    TuneModel& model() const { return m_context.model; }
    link::LinkWorker& link() const { return m_context.link; }
    MessageSink& messages() const { return m_context.messages; }
    const AppContext& context() const { return m_context; }

private:
    AppContext m_context;
    QString m_caption;
};

} // namespace kyr::app
