// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakeSerialDevice.h"

#include <algorithm>

namespace kyr::link {

namespace {

/// A device made by FakeSerialDevice::factory(): every call goes to the fake.
class FakeHandle final : public SerialDevice {
public:
    explicit FakeHandle(FakeSerialDevice& fake) : m_fake(fake) {}
    ~FakeHandle() override
    {
        if (m_opened)
            m_fake.close();
    }

    Status open(const std::string& path) override
    {
        Status s = m_fake.open(path);
        m_opened = s.ok();
        return s;
    }
    Status applySettings(const LineSettings& settings) override { return m_fake.applySettings(settings); }
    Status purge() override { return m_fake.purge(); }
    Result<std::size_t> queuedCount() override { return m_fake.queuedCount(); }
    Result<Bytes> read(std::size_t count) override { return m_fake.read(count); }
    Result<std::size_t> write(const Bytes& bytes) override { return m_fake.write(bytes); }
    void close() override
    {
        if (m_opened)
            m_fake.close();
        m_opened = false;
    }
    bool isOpen() const override { return m_opened && m_fake.isOpen(); }

private:
    FakeSerialDevice& m_fake;
    bool m_opened = false;
};

} // namespace

DeviceFactory FakeSerialDevice::factory()
{
    return [this] { return std::make_unique<FakeHandle>(*this); };
}

std::optional<Error> FakeSerialDevice::takeInjected(FakeOp op)
{
    auto it = m_injected.find(op);
    if (it == m_injected.end())
        return std::nullopt;
    Error e = std::move(it->second);
    m_injected.erase(it);
    return e;
}

void FakeSerialDevice::deliverDue()
{
    if (!m_clock)
        return;
    const uint32_t now = m_clock->tickMs();
    auto due = [now](const auto& s) { return static_cast<int32_t>(now - s.first) >= 0; };
    for (const auto& s : m_scheduled)
        if (due(s))
            m_rx.insert(m_rx.end(), s.second.begin(), s.second.end());
    std::erase_if(m_scheduled, due);
}

Status FakeSerialDevice::notOpen() const
{
    return makeError(ErrorKind::BadArgument, "the port is not open");
}

Status FakeSerialDevice::open(const std::string& path)
{
    m_openAttempts.push_back(path);
    if (auto e = takeInjected(FakeOp::Open))
        return *e;
    if (m_open)
        return makeError(ErrorKind::PortInUse, path + " is in use by another program");
    auto it = m_openableByPath.find(path);
    const bool openable = it != m_openableByPath.end() ? it->second : m_openable;
    if (!openable)
        return makeError(ErrorKind::PortUnavailable, path + " does not exist");
    m_open = true;
    m_path = path;
    m_openedPaths.push_back(path);
    return okStatus();
}

Status FakeSerialDevice::applySettings(const LineSettings& settings)
{
    if (!m_open)
        return notOpen();
    if (auto e = takeInjected(FakeOp::Settings))
        return *e;
    m_settings.push_back(settings);
    return okStatus();
}

Status FakeSerialDevice::purge()
{
    if (!m_open)
        return notOpen();
    if (auto e = takeInjected(FakeOp::Purge))
        return *e;
    deliverDue();
    m_rx.clear();
    ++m_purgeCount;
    m_events.push_back("P");
    return okStatus();
}

Result<std::size_t> FakeSerialDevice::queuedCount()
{
    if (!m_open)
        return notOpen().error();
    if (auto e = takeInjected(FakeOp::Count))
        return *e;
    m_lineError = false;
    deliverDue();
    return m_rx.size();
}

Result<Bytes> FakeSerialDevice::read(std::size_t count)
{
    if (!m_open)
        return notOpen().error();
    if (auto e = takeInjected(FakeOp::Read))
        return *e;
    deliverDue();
    const std::size_t n = std::min(count, m_rx.size());
    Bytes out(m_rx.begin(), m_rx.begin() + static_cast<std::ptrdiff_t>(n));
    m_rx.erase(m_rx.begin(), m_rx.begin() + static_cast<std::ptrdiff_t>(n));
    return out;
}

Result<std::size_t> FakeSerialDevice::write(const Bytes& bytes)
{
    if (!m_open)
        return notOpen().error();
    if (auto e = takeInjected(FakeOp::Write))
        return *e;
    Bytes taken = bytes;
    if (m_writeLimit) {
        taken.resize(std::min(*m_writeLimit, taken.size()));
        m_writeLimit.reset();
    }
    m_written.insert(m_written.end(), taken.begin(), taken.end());
    m_writes.push_back(taken);
    m_events.push_back("W " + hexOf(taken));
    if (m_responder)
        feedReceived(m_responder(taken));
    return taken.size();
}

void FakeSerialDevice::close()
{
    if (!m_open)
        return;
    m_open = false;
    m_path.clear();
    ++m_closeCount;
}

void FakeSerialDevice::feedReceived(const Bytes& bytes)
{
    m_rx.insert(m_rx.end(), bytes.begin(), bytes.end());
}

void FakeSerialDevice::feedReceivedAt(uint32_t tick, const Bytes& bytes)
{
    m_scheduled.emplace_back(tick, bytes);
}

void FakeSerialDevice::clearWritten()
{
    m_written.clear();
    m_writes.clear();
    m_events.clear();
}

} // namespace kyr::link
