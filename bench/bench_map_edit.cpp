// The time from a map edit on the screen to its WritePoint on the line: a
// mouse press on TimingChart (and an Up key with its key-up) is sent to the
// real window, and the time runs until the three bytes arrive at the far
// end of a pseudo-terminal that stands in for the COM port. Nothing else is
// queued on the link meanwhile. Prints microseconds; run it on a quiet machine.
//
//   build/bench/bench_map_edit [rounds]

#include "app/window/EFICom.h"
#include "app/maps/MapChartView.h"
#include "files/MapFile.h"
#include "link/ComNames.h"
#include "link/PosixSerialDevice.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTabWidget>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <pty.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace kyr;
using Clock = std::chrono::steady_clock;

namespace {

// The far end of the line: a unit that answers ReadIdentity and ReadTable
// while connecting, then stamps every byte as it arrives.
class LineEnd {
public:
    LineEnd(int fd, table::ImageBytes table) : m_fd(fd), m_table(table), m_thread([this] { run(); }) {}
    ~LineEnd()
    {
        m_stop = true;
        m_thread.join();
    }
    std::size_t count()
    {
        std::lock_guard lock(m_mutex);
        return m_arrivals.size();
    }
    Clock::time_point at(std::size_t i)
    {
        std::lock_guard lock(m_mutex);
        return m_arrivals.at(i);
    }
    void clear()
    {
        std::lock_guard lock(m_mutex);
        m_arrivals.clear();
    }
    /// From now on nothing is answered: a WritePoint value may be 0xFD.
    void stopAnswering() { m_answering = false; }

private:
    void run()
    {
        while (!m_stop) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            unsigned char buf[256];
            const ssize_t n = ::read(m_fd, buf, sizeof buf);
            const auto now = Clock::now();
            if (m_answering && n == 1)
                answer(buf[0]);
            std::lock_guard lock(m_mutex);
            for (ssize_t i = 0; i < n; ++i)
                m_arrivals.push_back(now);
        }
    }

    void answer(unsigned char command)
    {
        static const unsigned char identity[] = {3, 3, 2, 7, 1, 5, 6};
        if (command == 0xFF)
            (void)!::write(m_fd, identity, sizeof identity);
        else if (command == 0xFD)
            (void)!::write(m_fd, m_table.data(), m_table.size());
    }

    int m_fd;
    table::ImageBytes m_table;
    std::atomic<bool> m_answering{true};
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::vector<Clock::time_point> m_arrivals;
    std::thread m_thread;
};

bool waitUntil(const std::function<bool()>& done)
{
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (!done()) {
        if (Clock::now() > deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    return true;
}

void report(const char* what, std::vector<double> us)
{
    if (us.empty()) {
        std::printf("%-34s no samples\n", what);
        return;
    }
    std::sort(us.begin(), us.end());
    double sum = 0;
    for (double v : us)
        sum += v;
    std::printf("%-34s n=%zu  median %.0f us  p90 %.0f us  max %.0f us  mean %.0f us\n", what, us.size(),
                us[us.size() / 2], us[us.size() * 9 / 10], us.back(), sum / us.size());
}

table::ImageBytes demoTable()
{
    auto file = files::loadMapFile(KYR_SOURCE_DIR "/examples/demo.kyr");
    if (!file.ok()) {
        std::fprintf(stderr, "cannot read the demo tune\n");
        std::exit(1);
    }
    return file.value().image;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qapp(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;

    int master = -1, slave = -1;
    char name[256];
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        std::perror("openpty");
        return 1;
    }
    QTemporaryDir ports, devices; // the ports folder; an empty /dev, so no real port is touched
    link::PortEnv env = link::PortEnv::withVariables({{"KYR_PORT_DIR", ports.path().toStdString()}},
                                                     devices.path().toStdString());
    if (!link::registerPort(1, name, env)) {
        std::fprintf(stderr, "cannot register the port\n");
        return 1;
    }
    LineEnd line(master, demoTable());
    app::EFICom window(app::EFIComServices{nullptr, nullptr, app::LinkSetup{link::posixDeviceFactory(), &link::systemClock(), env, {}},
                                            /*livePollMs=*/0});
    window.resize(1200, 800);
    window.show(); // the start-up search finds the unit on COM1
    waitUntil([&] { return window.linkWorker().idle(); });
    if (auto* connect = qobject_cast<QAbstractButton*>(window.control(QStringLiteral("spConnect"))))
        connect->click();
    waitUntil([&] { return window.linkWorker().idle() && window.model().mapsShown(); });
    if (!window.model().state().flags.UnitConnected) {
        std::fprintf(stderr, "the window did not connect\n");
        return 1;
    }
    line.stopAnswering();
    window.model().setMouseTuning(true);

    auto* chart = window.findChild<app::MapChartView*>(QStringLiteral("TimingChart"));
    auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
    if (!chart || !tabs) {
        std::fprintf(stderr, "no TimingChart\n");
        return 1;
    }
    for (int i = 0; i < tabs->count(); ++i)
        if (tabs->widget(i)->isAncestorOf(chart))
            tabs->setCurrentIndex(i);
    waitUntil([&] { return chart->isVisible(); });
    QCoreApplication::processEvents();

    std::vector<double> mouse, keys;
    for (int i = 0; i < rounds + 5; ++i) {
        waitUntil([&] { return window.linkWorker().idle(); });
        line.clear();
        const QPointF at = chart->positionOf({10.0 + i % 50, 5.0 + i % 35});
        QMouseEvent press(QEvent::MouseButtonPress, at, chart->viewport()->mapToGlobal(at), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, at, chart->viewport()->mapToGlobal(at), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        const auto t0 = Clock::now();
        QCoreApplication::sendEvent(chart->viewport(), &press);
        if (!waitUntil([&] { return line.count() >= 3; })) {
            std::fprintf(stderr, "no WritePoint arrived\n");
            return 1;
        }
        if (i >= 5) // the first rounds open the port and warm up
            mouse.push_back(std::chrono::duration<double, std::micro>(line.at(2) - t0).count());
        QCoreApplication::sendEvent(chart->viewport(), &release);
    }
    // The key path: a mouse move makes TimingChart the key target and gives it
    // the keys; Up (or Down) and its key-up send.
    QApplication::setActiveWindow(&window);
    const QPointF over = chart->positionOf({30, 20});
    QMouseEvent move(QEvent::MouseMove, over, chart->viewport()->mapToGlobal(over), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(chart->viewport(), &move);
    for (int i = 0; i < rounds; ++i) {
        waitUntil([&] { return window.linkWorker().idle(); });
        line.clear();
        const int key = (i % 2) ? Qt::Key_Down : Qt::Key_Up;
        QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
        QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier);
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : &window;
        QCoreApplication::sendEvent(target, &down);
        const auto t0 = Clock::now();
        QCoreApplication::sendEvent(target, &up);
        if (!waitUntil([&] { return line.count() >= 3; })) {
            std::fprintf(stderr, "no WritePoint arrived after a key-up\n");
            return 1;
        }
        keys.push_back(std::chrono::duration<double, std::micro>(line.at(2) - t0).count());
    }
    report("mouse press -> WritePoint on line", mouse);
    report("key-up -> WritePoint on line", keys);
    ::close(slave);
    return 0;
}
