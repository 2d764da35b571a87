// SPDX-License-Identifier: GPL-3.0-or-later
#include "setup/TpsCalibration.h"

#include "table/Layout.h"

namespace kyr::setup {

TpsCalibration::TpsCalibration(int minimumSpan) : m_minimumSpan(minimumSpan) {}

void TpsCalibration::start()
{
    m_step = Step::Low;
    m_low.reset();
    m_high.reset();
    m_fresh = false;
}

void TpsCalibration::reading(std::optional<int> raw)
{
    if (raw && (*raw < 0 || *raw > table::MaxRawSent))
        raw.reset(); // no value the table could hold
    m_reading = raw;
    m_fresh = raw.has_value();
}

std::vector<ByteWrite> TpsCalibration::pressF1()
{
    switch (m_step) {
    case Step::Idle:
    case Step::Done:
        return {};
    case Step::Failed:
        start();
        return {};
    case Step::Low:
        // A point needs a reading taken since the dialog asked for it, or a
        // stale value from before the throttle moved would be stored.
        if (!m_reading || !m_fresh)
            return fail();
        m_low = m_reading;
        m_fresh = false;
        m_step = Step::High;
        return {};
    case Step::High:
        if (!m_reading || !m_fresh || *m_reading - *m_low < m_minimumSpan)
            return fail();
        m_high = m_reading;
        m_step = Step::Done;
        return {ByteWrite{table::setupOffset(table::SetupParam::TpsCalLow), static_cast<uint8_t>(*m_low)},
                ByteWrite{table::setupOffset(table::SetupParam::TpsCalHigh), static_cast<uint8_t>(*m_high)}};
    }
    return {};
}

std::vector<ByteWrite> TpsCalibration::fail()
{
    m_step = Step::Failed;
    return {};
}

std::string_view TpsCalibration::prompt() const
{
    switch (m_step) {
    case Step::Low: return ReleaseText;
    case Step::High: return OpenText;
    case Step::Done: return DoneText;
    case Step::Failed: return ErrorText;
    case Step::Idle: break;
    }
    return {};
}

} // namespace kyr::setup
