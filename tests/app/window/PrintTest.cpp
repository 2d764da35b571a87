// SPDX-License-Identifier: GPL-3.0-or-later
// "Print" from every page: the timing chart, then the charts of the fuel or
// correction page shown, one to a sheet. The sheets are read back by playing
// them on a device that keeps the texts drawn, and on an image.

#include "window/AppFixture.h"

#include "app/maps/MapChartView.h"

#include <QBuffer>
#include <QChart>
#include <QImage>
#include <QPaintEngine>
#include <QPainter>
#include <QPdfWriter>
#include <QTabWidget>

using namespace kyr;
using namespace kyr::apptest;

namespace {

// Keeps the text of every text item painted; draws nothing.
class TextEngine final : public QPaintEngine {
public:
    TextEngine() : QPaintEngine(AllFeatures) {}
    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState&) override {}
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
    void drawPath(const QPainterPath&) override {}
    void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
    void drawLines(const QLineF*, int) override {}
    void drawRects(const QRectF*, int) override {}
    void drawImage(const QRectF&, const QImage&, const QRectF&, Qt::ImageConversionFlags) override {}
    void drawTextItem(const QPointF&, const QTextItem& item) override { texts << item.text(); }
    Type type() const override { return User; }
    QStringList texts;
};

class TextDevice final : public QPaintDevice {
public:
    QPaintEngine* paintEngine() const override { return &m_engine; }
    QStringList texts() const { return m_engine.texts; }

protected:
    int metric(PaintDeviceMetric m) const override
    {
        switch (m) {
        case PdmWidth: return app::maps::MapChartView::PrintSize.width();
        case PdmHeight: return app::maps::MapChartView::PrintSize.height();
        case PdmDepth: return 32;
        case PdmDevicePixelRatio: return 1;
        case PdmDevicePixelRatioScaled: return static_cast<int>(devicePixelRatioFScale());
        default: return 96;
        }
    }

private:
    mutable TextEngine m_engine;
};

QStringList textsOf(const app::window::PrintSheet& sheet)
{
    TextDevice device;
    QPainter painter(&device);
    painter.drawPicture(0, 0, sheet);
    painter.end();
    return device.texts();
}

QImage imageOf(const app::window::PrintSheet& sheet)
{
    QImage image(sheet.boundingRect().size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.drawPicture(0, 0, sheet);
    return image;
}

// Pixels near a curve's colour: the curve is drawn, not just the axes.
int pixelsOf(const QImage& image, const QColor& colour)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor p = image.pixelColor(x, y);
            n += std::abs(p.red() - colour.red()) < 40 && std::abs(p.green() - colour.green()) < 40
              && std::abs(p.blue() - colour.blue()) < 40;
        }
    return n;
}

struct PageSheets {
    int tab;
    QStringList titles; // the chart title on each sheet, in order
};

} // namespace

TEST_F(WindowTest, PrintPutsTheTimingChartAndThePageChartsOnPaper)
{
    connectedWindow();
    auto* tabs = window->findChild<QTabWidget*>("PageControl1");
    const PageSheets cases[] = {
        {0, {"Timing Map"}},
        {1, {"Timing Map"}},
        {2, {"Timing Map", "Vacuum Map", "RPM Map"}},
        {3, {"Timing Map", "Water Temp Correction", "Air Temp Correction", "Voltage Correction"}},
        {4, {"Timing Map"}},
        {5, {"Timing Map"}},
    };
    for (const PageSheets& c : cases) {
        SCOPED_TRACE(tabs->tabText(c.tab).toStdString());
        tabs->setCurrentIndex(c.tab);
        click("spPrint");
        ASSERT_EQ(printer->sheets.size(), static_cast<std::size_t>(c.titles.size()));
        for (int i = 0; i < c.titles.size(); ++i) {
            const QStringList texts = textsOf(printer->sheets[i]);
            EXPECT_TRUE(texts.contains(c.titles[i])) << texts.join('|').toStdString();
            EXPECT_EQ(printer->sheets[i].boundingRect().size(), app::maps::MapChartView::PrintSize);
        }
        EXPECT_TRUE(textsOf(printer->sheets[0]).contains("RPM x 100"));
    }
    EXPECT_EQ(printer->prints, 6);

    // The first print came from the Setup page, before the Timing Map page was
    // ever shown: the timing chart was laid out for the sheet all the same.
    tabs->setCurrentIndex(0);
    click("spPrint");
    const QImage sheet = imageOf(printer->sheets[0]);
    EXPECT_GT(pixelsOf(sheet, app::maps::curveColour(maps::curveOf(table::MapId::TimingRpm))), 500);
    auto* timing = window->findChild<app::maps::MapChartView*>("TimingChart");
    EXPECT_EQ(timing->chart()->margins(), QMargins(10, 10, 10, 10));
}

// What the print dialog's printer is given: one page per sheet.
TEST_F(WindowTest, PrintedSheetsFillAPageEach)
{
    connectedWindow();
    window->findChild<QTabWidget*>("PageControl1")->setCurrentIndex(3);
    click("spPrint");
    ASSERT_EQ(printer->sheets.size(), 4u);
    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&pdf);
        writer.setPageOrientation(QPageLayout::Landscape);
        app::window::paintSheets(writer, printer->sheets);
    }
    EXPECT_EQ(pdf.data().count("/Type /Page\n"), 4) << "one page per sheet";
}
