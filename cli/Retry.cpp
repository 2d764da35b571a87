// SPDX-License-Identifier: GPL-3.0-or-later
#include "Retry.h"

#include <algorithm>

namespace kyr::cli {

namespace {

/// Waits for the unit, counting only the time spent waiting: a run made
/// again takes its own time, but every wait takes at least one interval, so
/// the whole command stays bounded.
class LinkWait {
public:
    LinkWait(UnitLink& unit, const RetryPlan& plan) : m_unit(unit), m_plan(plan) {}

    Status untilTheUnitAnswers()
    {
        link::Clock& clock = m_unit.clock();
        const auto allowed = static_cast<uint32_t>(m_plan.seconds) * 1000u;
        if (m_waitedMs < allowed)
            m_plan.notes << "kyr: Retrying " << m_unit.where() << " for up to " << secondsLeft(allowed) << " s...\n";
        while (m_waitedMs < allowed) {
            const uint32_t start = clock.tickMs();
            clock.sleepMs(static_cast<int>(std::min<uint32_t>(RetryIntervalMs, allowed - m_waitedMs)));
            const ProbeResult found = m_unit.probe();
            m_waitedMs += clock.tickMs() - start;
            if (found.outcome == session::ProbeOutcome::SameUnit)
                return okStatus();
            if (found.outcome == session::ProbeOutcome::OtherUnit)
                return makeError(ErrorKind::NoUnit, found.other + partialTable(", so nothing was written to it"));
        }
        return makeError(ErrorKind::LinkLost, "the link to " + m_unit.where() + " did not come back within " +
                                                  std::to_string(m_plan.seconds) + " s" + partialTable(""));
    }

private:
    // A write is only retried when the link went before its table did (one
    // cut off part-way stops at once): the unit still holds its own table.
    std::string partialTable(const std::string& writeNote) const
    {
        return m_plan.work == LinkWork::TableRead ? "" : writeNote;
    }
    uint32_t secondsLeft(uint32_t allowed) const { return (allowed - m_waitedMs + 999) / 1000; }

    UnitLink& m_unit;
    const RetryPlan& m_plan;
    uint32_t m_waitedMs = 0;
};

} // namespace

std::string lostText(LinkWork work)
{
    return work == LinkWork::TableWrite ? "Link lost before the table write began: the unit's table was not changed"
                                        : "Link lost during the table read";
}

Status runRetrying(UnitLink& unit, const RetryPlan& plan, const std::function<Status(bool again)>& attempt)
{
    Status s = attempt(false);
    LinkWait wait(unit, plan);
    while (!s && s.error().kind == ErrorKind::LinkLost) {
        // A write says how far it came; a read has nothing to say beyond the loss.
        const std::string lost = plan.work == LinkWork::TableWrite && s.error().message.rfind("Link lost", 0) == 0
                                     ? s.error().message
                                     : lostText(plan.work);
        if (plan.seconds <= 0)
            return makeError(ErrorKind::LinkLost, lost);
        plan.notes << "kyr: " << lost << "\n";
        if (Status back = wait.untilTheUnitAnswers(); !back)
            return back;
        plan.notes << "kyr: The same unit answers on " << unit.where() << ": "
                   << (plan.work == LinkWork::TableWrite ? "writing" : "reading") << " the whole table again\n";
        s = attempt(true);
    }
    return s;
}

} // namespace kyr::cli
