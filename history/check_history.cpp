#include "history/check_history.h"

#include <ostream>
#include <utility>
#include <variant>

#include "text/terminal_text.h"

namespace ostrivane {

namespace {}  // namespace

CheckHistory CheckHistory::open(const std::optional<std::filesystem::path>& file, bool enabled,
                                std::ostream& err) {
    CheckHistory history;
    if (!enabled) {
        return history;
    }
    auto opened = HistoryStore::open(file.value_or(defaultHistoryPath()));
    if (auto* problem = std::get_if<HistoryProblem>(&opened)) {
        history.fail(*problem, err);
    } else {
        history.m_store.emplace(std::move(std::get<HistoryStore>(opened)));
    }
    return history;
}

void CheckHistory::fail(const HistoryProblem& problem, std::ostream& err) {
    const std::string message = escapeForTerminal(problem.message());
    err << "ostrivane: " << message << '\n';
    m_problems.push_back(message);
}

void CheckHistory::annotate(CheckRun& run, std::ostream& err) {
    if (!m_store) {
        return;
    }
    if (auto problem = m_store->annotate(run)) {
        fail(*problem, err);
        m_store.reset();  // a file that cannot be read is not written either
        return;
    }
    m_annotated = true;
}

void CheckHistory::recordAndPrune(const CheckRun& run, int keepDays, std::ostream& err) {
    if (!m_store || !m_annotated) {
        return;
    }
    // A failed write leaves the earlier history as it was; it can still be read.
    if (auto problem = m_store->record(run)) {
        fail(*problem, err);
        return;
    }
    prune(run, keepDays, err);
}

void CheckHistory::prune(const CheckRun& run, int keepDays, std::ostream& err) {
    if (auto problem = m_store->prune(run.startedAt - static_cast<EpochMs>(keepDays) * kDayMs)) {
        fail(*problem, err);
    }
}

void CheckHistory::beginRun(EpochMs startedAt, std::ostream& err) {
    m_startedAt = startedAt;
    if (!m_store) {
        return;
    }
    m_annotated = true;
    auto begun = m_store->beginRun(startedAt);
    if (auto* problem = std::get_if<HistoryProblem>(&begun)) {
        fail(*problem, err);  // still annotated: the earlier history can be read
        return;
    }
    m_recording = std::get<std::unique_ptr<RunRecording>>(std::move(begun));
}

void CheckHistory::take(std::vector<CheckResult>& results, std::ostream& err) {
    if (!m_store) {
        return;
    }
    if (auto problem = m_store->annotate(results, m_startedAt)) {
        fail(*problem, err);
        m_recording.reset();  // a file that cannot be read is not written either
        m_store.reset();
        m_annotated = false;
        return;
    }
    if (m_recording) {
        if (auto problem = m_recording->add(results)) {
            fail(*problem, err);
            m_recording.reset();
        }
    }
}

void CheckHistory::endRun(const CheckRun& run, int keepDays, std::ostream& err) {
    if (!m_recording) {
        return;
    }
    auto problem = m_recording->commit(run);
    m_recording.reset();
    if (problem) {
        fail(*problem, err);
        return;
    }
    prune(run, keepDays, err);
}

RecentDays CheckHistory::recentDays(EpochMs now, std::ostream& err) {
    if (!m_store) {
        return {};
    }
    auto recent = m_store->recentDays(now);
    if (auto* problem = std::get_if<HistoryProblem>(&recent)) {
        fail(*problem, err);
        return {};
    }
    return std::get<RecentDays>(std::move(recent));
}

}  // namespace ostrivane
