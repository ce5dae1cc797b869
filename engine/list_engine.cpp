#include "engine/list_engine.h"

#include <algorithm>
#include <array>
#include <deque>
#include <memory>
#include <optional>
#include <queue>

#include "engine/ares_channel.h"
#include "engine/list_answer.h"
#include "engine/question_pacer.h"
#include "core/address.h"

namespace ostrivane {

namespace {

using Clock = std::chrono::steady_clock;

// How many of a zone's address questions of one family may be in flight
// before the zone's health for that family is known. Enough to keep a healthy
// zone busy for the first round trip, few enough that a dead zone is asked
// little more than its test points.
constexpr std::size_t kUnprovenZoneInFlight = 16;
// Questions in flight, young or old, at most this many windows: young
// questions pace a server that reads its socket, this bounds what a server
// that has stopped reading (or a machine too busy to read the answers) can
// pile up, in c-ares's memory and in the server's queue.
constexpr std::size_t kInFlightWindows = 16;
// A question is sent at most this often: once and five re-asks, each later
// than the one before (see QuestionPacer::reaskAt), so that a server that
// stops reading for a while (a busy machine) does not lose all of them.
constexpr int kMaxCopies = 6;
// Results waiting for their address's last zone, at most (about 16 MB).
constexpr std::size_t kMaxHeldResults = std::size_t{1} << 18;

enum class Kind : std::uint8_t { Probe, Address, Reason, ProbeReason };
enum class EventKind : std::uint8_t { Reask, Deadline };

// The test points, in nibble or octet form, indexed family * 2 + point:
// the address every list must list, then the one no list may list.
std::array<IpAddress, 4> testPoints() {
    IpAddress v4listed;
    v4listed.bytes = {127, 0, 0, 2};
    IpAddress v4unlisted;
    v4unlisted.bytes = {127, 0, 0, 1};
    IpAddress v6listed{IpAddress::Family::V6, {}};
    v6listed.bytes = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0x7F, 0, 0, 2};
    IpAddress v6unlisted = v6listed;
    v6unlisted.bytes[15] = 1;
    return {v4listed, v4unlisted, v6listed, v6unlisted};
}

std::size_t familyOf(const IpAddress& address) {
    return address.family == IpAddress::Family::V4 ? 0 : 1;
}

struct Question {
    Kind kind = Kind::Address;
    std::uint8_t point = 0;        // Probe: family * 2 + point
    std::uint8_t copies = 0;       // sent so far
    std::uint8_t outstanding = 0;  // copies c-ares still holds
    std::uint8_t youngCopies = 0;  // bit per copy still counted by the pacer
    std::uint8_t liveCopies = 0;   // bit per copy counted in flight: not yet given up as lost
    bool open = false;
    bool freed = false;
    bool unproven = false;  // counted in its zone's unproven questions
    std::uint32_t generation = 0;
    std::size_t zone = 0;
    std::size_t address = 0;  // Address, Reason
    Clock::time_point firstSent{};
    Clock::time_point lastSent{};
    Clock::time_point deadline{};
};

struct Event {
    Clock::time_point at;
    std::uint32_t question;
    std::uint32_t generation;
    EventKind kind;
    std::uint8_t copies;  // Reask: the copies out when it was planned
    bool operator>(const Event& other) const { return at > other.at; }
};

struct YoungCopy {
    Clock::time_point sent;
    std::uint32_t question;
    std::uint32_t generation;
    std::uint8_t copy;
};

struct ZoneState {
    std::array<std::optional<ListAnswer>, 4> points;
    std::array<std::optional<ZoneHealth>, 2> health;
    std::array<std::size_t, 2> unproven{};
    std::size_t next = 0;  // the next address to ask it about
    std::size_t pendingReasons = 0;
    std::string refusal;  // the TXT record beside an error code at a test point
};

struct ResultProgress {
    ListAnswer answer;
    std::string reason;
    bool done = false;
};

class Engine {
  public:
    Engine(const std::vector<CheckAddress>& addresses, const std::vector<CheckZone>& zones,
           const EngineSettings& settings, const AddressResultSink& sink)
        : m_addresses(addresses),
          m_zones(zones),
          m_settings(settings),
          m_sink(sink),
          m_pacer(settings.timeout),
          m_zoneStates(zones.size()),
          m_points(testPoints()) {}

    std::optional<EngineFailure> open() {
        auto opened = AresChannel::open({m_settings.timeout, 1, m_settings.servers});
        if (auto* failure = std::get_if<ChannelFailure>(&opened)) {
            return EngineFailure{failure->reason};
        }
        m_channel = std::get<std::unique_ptr<AresChannel>>(std::move(opened));
        return std::nullopt;
    }

    std::vector<CheckedZone> run() {
        for (std::size_t zone = 0; zone < m_zones.size(); ++zone) {
            for (std::uint8_t point = 0; point < 4; ++point) {
                const auto index = newQuestion(Kind::Probe, zone, 0);
                m_questions[index].point = point;
                m_priority.push_back(index);
            }
        }
        for (;;) {
            const auto now = Clock::now();
            handleEvents(now);
            ageYoung(now);
            fill(now);
            emitReady();
            fill(now);  // room made by the addresses just handed on
            // Copies of questions answered already may still be out: they
            // are not waited for, the channel's end drops them.
            if (m_open == 0 && m_priority.empty() && m_reask.empty()) {
                break;
            }
            m_channel->pump(nextWake(now));
        }
        for (auto& question : m_questions) {
            question.open = false;  // the channel's end calls back what is still out
        }
        m_channel.reset();
        return finish();
    }

  private:
    static void replied(void* context, std::uint64_t token, int status, const std::uint8_t* reply,
                        std::size_t length) {
        static_cast<Engine*>(context)->answered(static_cast<std::uint32_t>(token),
                                                static_cast<std::uint8_t>(token >> 32), status,
                                                reply, length);
    }

    std::uint32_t newQuestion(Kind kind, std::size_t zone, std::size_t address) {
        std::uint32_t index = 0;
        if (!m_free.empty()) {
            index = m_free.back();
            m_free.pop_back();
        } else {
            index = static_cast<std::uint32_t>(m_questions.size());
            m_questions.emplace_back();
        }
        auto& question = m_questions[index];
        const auto generation = question.generation + 1;
        question = Question{};
        question.generation = generation;
        question.kind = kind;
        question.zone = zone;
        question.address = address;
        return index;
    }

    void release(std::uint32_t index) {
        auto& question = m_questions[index];
        if (!question.open && question.outstanding == 0 && !question.freed) {
            question.freed = true;
            ++question.generation;
            m_free.push_back(index);
        }
    }

    std::string nameOf(const Question& question) const {
        const auto& zone = m_zones[question.zone].zone;
        if (question.kind == Kind::Probe || question.kind == Kind::ProbeReason) {
            return listQueryName(m_points[question.point], zone);
        }
        return listQueryName(m_addresses[question.address].address, zone);
    }

    void send(std::uint32_t index, Clock::time_point now) {
        auto& question = m_questions[index];
        if (question.copies == 0) {
            question.open = true;
            ++m_open;
            question.firstSent = now;
            if (!isReason(question)) {
                question.deadline = now + m_settings.timeout;
            }
            const Event deadline{question.deadline, index, question.generation, EventKind::Deadline,
                                 0};
            if (isReason(question)) {
                m_events.push(deadline);  // its own question's deadline, not in sending order
            } else {
                m_deadlines.push_back(deadline);
            }
        }
        const auto copy = question.copies++;
        question.lastSent = now;
        ++question.outstanding;
        question.youngCopies |= static_cast<std::uint8_t>(1U << copy);
        ++m_young;
        question.liveCopies |= static_cast<std::uint8_t>(1U << copy);
        ++m_copiesOut;
        m_youngQueue.push_back({now, index, question.generation, copy});
        if (question.copies < kMaxCopies) {
            if (const auto at = m_pacer.reaskAt(now, question.copies, question.deadline)) {
                m_events.push({*at, index, question.generation, EventKind::Reask, question.copies});
            }
        }
        m_channel->ask(nameOf(question), typeOf(question), &Engine::replied, this,
                       index | (std::uint64_t{copy} << 32));
    }

    static bool isReason(const Question& question) {
        return question.kind == Kind::Reason || question.kind == Kind::ProbeReason;
    }

    static RecordType typeOf(const Question& question) {
        return isReason(question) ? RecordType::Txt : RecordType::A;
    }

    void forget(Question& question, std::uint8_t copy) {
        const auto bit = static_cast<std::uint8_t>(1U << copy);
        if ((question.youngCopies & bit) != 0) {
            question.youngCopies = static_cast<std::uint8_t>(question.youngCopies & ~bit);
            --m_young;
        }
    }

    // A copy given up as lost no longer counts in flight, though c-ares holds
    // it until its own time-out: lost copies must not stop the re-asks.
    void drop(Question& question, std::uint8_t copy) {
        const auto bit = static_cast<std::uint8_t>(1U << copy);
        if ((question.liveCopies & bit) != 0) {
            question.liveCopies = static_cast<std::uint8_t>(question.liveCopies & ~bit);
            --m_copiesOut;
        }
    }

    void ageYoung(Clock::time_point now) {
        const auto age = m_pacer.youngAge();
        while (!m_youngQueue.empty() && now - m_youngQueue.front().sent >= age) {
            const auto entry = m_youngQueue.front();
            m_youngQueue.pop_front();
            auto& question = m_questions[entry.question];
            if (question.generation == entry.generation) {
                forget(question, entry.copy);
            }
        }
    }

    void handleEvents(Clock::time_point now) {
        // The deadlines of questions answered already leave at the front.
        while (!m_deadlines.empty()) {
            const auto event = m_deadlines.front();
            const auto& question = m_questions[event.question];
            const bool settled = question.generation != event.generation || !question.open;
            if (!settled && event.at > now) {
                break;
            }
            m_deadlines.pop_front();
            if (!settled) {
                settle(event.question, std::nullopt, 0, true);
            }
        }
        while (!m_events.empty() && m_events.top().at <= now) {
            const auto event = m_events.top();
            m_events.pop();
            auto& question = m_questions[event.question];
            if (question.generation != event.generation || !question.open) {
                continue;
            }
            if (event.kind == EventKind::Deadline) {
                settle(event.question, std::nullopt, 0, true);
            } else if (question.copies == event.copies) {
                m_pacer.lost(question.lastSent, now);
                for (std::uint8_t copy = 0; copy < question.copies; ++copy) {
                    forget(question, copy);
                    drop(question, copy);
                }
                m_reask.push_back({event.question, event.generation});
            }
        }
    }

    bool mayAsk(std::size_t zone, std::size_t address) const {
        const auto& state = m_zoneStates[zone];
        const auto family = familyOf(m_addresses[address].address);
        if (!state.health[family]) {
            return state.unproven[family] < kUnprovenZoneInFlight;
        }
        return *state.health[family] == ZoneHealth::Healthy;
    }

    // The next address question of `zone`, when it has one to ask now.
    std::optional<std::uint32_t> nextAddressQuestion(std::size_t zone) {
        auto& state = m_zoneStates[zone];
        while (state.next < m_addresses.size()) {
            const auto family = familyOf(m_addresses[state.next].address);
            const auto& health = state.health[family];
            if (health && *health != ZoneHealth::Healthy) {
                ++state.next;  // settled by the zone's health, nothing to ask
                continue;
            }
            if (!mayAsk(zone, state.next) || !hold(state.next)) {
                return std::nullopt;
            }
            const auto index = newQuestion(Kind::Address, zone, state.next++);
            if (!health) {
                m_questions[index].unproven = true;
                ++state.unproven[family];
            }
            return index;
        }
        return std::nullopt;
    }

    // Makes room for the results of `address`; false while too many wait.
    bool hold(std::size_t address) {
        while (m_emitted + m_held.size() <= address) {
            if ((m_held.size() + 1) * m_zones.size() > kMaxHeldResults && !m_held.empty()) {
                return false;
            }
            m_held.emplace_back(m_zones.size());
        }
        return true;
    }

    std::optional<std::uint32_t> nextQuestion() {
        while (!m_reask.empty()) {
            const auto [index, generation] = m_reask.front();
            m_reask.pop_front();
            const auto& question = m_questions[index];
            if (question.generation == generation && question.open) {
                return index;
            }
        }
        while (!m_priority.empty()) {
            const auto index = m_priority.front();
            m_priority.pop_front();
            const auto& question = m_questions[index];
            if (!isReason(question) || question.deadline > Clock::now()) {
                return index;
            }
            settle(index, std::nullopt, 0);  // a reason whose time is up
        }
        for (std::size_t turn = 0; turn < m_zones.size(); ++turn) {
            const std::size_t zone = (m_nextZone + turn) % m_zones.size();
            if (auto index = nextAddressQuestion(zone)) {
                m_nextZone = zone + 1;
                return index;
            }
        }
        return std::nullopt;
    }

    void fill(Clock::time_point now) {
        while (m_young < m_pacer.window() && m_copiesOut < kInFlightWindows * m_pacer.window()) {
            const auto index = nextQuestion();
            if (!index) {
                return;
            }
            send(*index, now);
        }
    }

    Clock::time_point nextWake(Clock::time_point now) const {
        auto wake = now + m_settings.timeout;
        if (!m_deadlines.empty()) {
            wake = std::min(wake, m_deadlines.front().at);
        }
        if (!m_events.empty()) {
            wake = std::min(wake, m_events.top().at);
        }
        if (!m_youngQueue.empty() && m_young >= m_pacer.window()) {
            wake = std::min(wake, m_youngQueue.front().sent + m_pacer.youngAge());
        }
        return wake;
    }

    void answered(std::uint32_t index, std::uint8_t copy, int status, const std::uint8_t* reply,
                  std::size_t length) {
        auto& question = m_questions[index];
        --question.outstanding;
        forget(question, copy);
        drop(question, copy);
        if (AresChannel::isCancelled(status)) {
            release(index);
            return;
        }
        if (copy + 1 < question.copies && reply != nullptr) {
            m_pacer.notLost();  // an earlier copy came back: the re-ask was early
        }
        if (question.open && reply == nullptr && question.outstanding > 0) {
            return;  // this copy failed; a later one may still be answered
        }
        if (question.open) {
            if (reply != nullptr) {
                m_pacer.answered(roundTripOf(question, copy));
            }
            settle(index, reply == nullptr ? std::nullopt : std::optional(reply), length);
        }
        release(index);
    }

    // How long the copy answered was out: the first and the last copy's
    // sending times are kept.
    static std::optional<QuestionPacer::Duration> roundTripOf(const Question& question,
                                                              std::uint8_t copy) {
        const auto now = Clock::now();
        if (copy + 1 == question.copies) {
            return std::chrono::duration_cast<QuestionPacer::Duration>(now - question.lastSent);
        }
        if (copy == 0) {
            return std::chrono::duration_cast<QuestionPacer::Duration>(now - question.firstSent);
        }
        return std::nullopt;
    }

    // Records what came of a question: its reply, or none (time-out, failure).
    void settle(std::uint32_t index, std::optional<const std::uint8_t*> reply, std::size_t length,
                bool timedOut = false) {
        auto& question = m_questions[index];
        m_open -= question.open ? 1 : 0;  // a reason whose time was up was never sent
        question.open = false;
        const auto records =
            reply ? readDnsReply(*reply, length, nameOf(question), typeOf(question)) : DnsRecords{};
        auto answer = listAnswerOf(records);
        answer.timedOut = timedOut;
        switch (question.kind) {
            case Kind::Probe:
                settleProbe(question, std::move(answer));
                break;
            case Kind::Address:
                settleAddress(question, std::move(answer));
                break;
            case Kind::Reason:
                if (auto* result = progressOf(question)) {
                    result->reason = joined(records.txt);
                    result->done = true;
                }
                break;
            case Kind::ProbeReason: {
                auto& state = m_zoneStates[question.zone];
                --state.pendingReasons;
                if (state.refusal.empty()) {
                    state.refusal = joined(records.txt);
                }
                break;
            }
        }
        release(index);
    }

    static std::string joined(const std::vector<std::string>& texts) {
        std::string text;
        for (const auto& part : texts) {
            text += (text.empty() ? "" : "; ") + part;
        }
        return text;
    }

    void settleProbe(const Question& question, ListAnswer answer) {
        auto& state = m_zoneStates[question.zone];
        if (answer.kind == ListAnswer::Kind::Addresses && !isListingAnswer(answer)) {
            // An error code where a test point was asked: the list's TXT
            // record says why ("query refused: ..."), for every verdict.
            const auto reason = newQuestion(Kind::ProbeReason, question.zone, 0);
            m_questions[reason].point = question.point;
            m_questions[reason].deadline = question.deadline;
            m_priority.push_back(reason);
            ++state.pendingReasons;
        }
        state.points[question.point] = std::move(answer);
        const std::size_t family = question.point / 2;
        const auto& listed = state.points[family * 2];
        const auto& unlisted = state.points[family * 2 + 1];
        if (listed && unlisted) {
            state.health[family] = classifyZone(resolutionOf(*listed), resolutionOf(*unlisted));
        }
    }

    void settleAddress(const Question& question, ListAnswer answer) {
        auto& state = m_zoneStates[question.zone];
        if (question.unproven) {
            --state.unproven[familyOf(m_addresses[question.address].address)];
        }
        auto* result = progressOf(question);
        if (result == nullptr) {
            return;  // asked before its zone proved bad; the address is out already
        }
        result->answer = std::move(answer);
        // The TXT record explains a listing, and an error code too ("query
        // refused: ...").
        if (result->answer.kind != ListAnswer::Kind::Addresses) {
            result->done = true;
            return;
        }
        const auto reason = newQuestion(Kind::Reason, question.zone, question.address);
        m_questions[reason].deadline = question.deadline;
        m_priority.push_back(reason);
    }

    ResultProgress* progressOf(const Question& question) {
        if (question.address < m_emitted) {
            return nullptr;
        }
        return &m_held[question.address - m_emitted][question.zone];
    }

    bool healthKnown() const {
        return std::all_of(m_zoneStates.begin(), m_zoneStates.end(), [](const ZoneState& state) {
            return state.health[0] && state.health[1] && state.pendingReasons == 0;
        });
    }

    bool complete(std::size_t address, const std::vector<ResultProgress>& held) const {
        const auto family = familyOf(m_addresses[address].address);
        for (std::size_t zone = 0; zone < m_zones.size(); ++zone) {
            const auto& health = m_zoneStates[zone].health[family];
            if (!held[zone].done && (!health || *health == ZoneHealth::Healthy)) {
                return false;
            }
        }
        return true;
    }

    void emitReady() {
        if (!healthKnown()) {
            return;
        }
        while (!m_held.empty() && complete(m_emitted, m_held.front())) {
            emit();
        }
    }

    void emit() {
        const auto& address = m_addresses[m_emitted];
        const auto family = familyOf(address.address);
        std::vector<CheckResult> results;
        results.reserve(m_zones.size());
        const auto text = formatIpAddress(address.address);
        for (std::size_t zone = 0; zone < m_zones.size(); ++zone) {
            const auto& progress = m_held.front()[zone];
            const auto& health = m_zoneStates[zone].health;
            CheckResult result;
            result.target = address.target;
            result.address = text;
            result.zone = m_zones[zone].zone;
            result.verdict =
                verdictOf(progress.answer, health[family].value_or(ZoneHealth::EmptyOrDead),
                          health[1 - family].value_or(ZoneHealth::EmptyOrDead));
            if (progress.answer.kind == ListAnswer::Kind::Addresses) {
                for (const auto& answer : progress.answer.addresses) {
                    result.answers.push_back(formatDottedQuad(answer));
                }
            }
            if (result.verdict == CheckVerdict::Listed ||
                result.verdict == CheckVerdict::ListError) {
                result.reason = progress.reason;
            }
            if (result.verdict == CheckVerdict::ListError && result.reason.empty()) {
                result.reason = m_zoneStates[zone].refusal;
            }
            results.push_back(std::move(result));
        }
        m_held.pop_front();
        ++m_emitted;
        m_sink(std::move(results));
    }

  public:
    // What each zone answered at the test points of both families, for the
    // zone check.
    std::vector<ZoneProbe> probes() const {
        std::vector<ZoneProbe> probes;
        for (const auto& state : m_zoneStates) {
            const auto ipv4 = state.health[0].value_or(ZoneHealth::EmptyOrDead);
            const auto ipv6 = state.health[1].value_or(ZoneHealth::EmptyOrDead);
            probes.push_back({state.points[0].value_or(ListAnswer{}),
                              state.points[1].value_or(ListAnswer{}), zoneHealthOf(ipv4, ipv6),
                              state.points[2].value_or(ListAnswer{}),
                              state.points[3].value_or(ListAnswer{}), ipv4, ipv6});
        }
        return probes;
    }

  private:
    std::vector<CheckedZone> finish() {
        for (auto& state : m_zoneStates) {
            for (auto& health : state.health) {
                health = health.value_or(ZoneHealth::EmptyOrDead);
            }
        }
        while (m_emitted < m_addresses.size()) {
            hold(m_emitted);
            emit();
        }
        std::vector<CheckedZone> zones;
        for (std::size_t zone = 0; zone < m_zones.size(); ++zone) {
            const auto ipv4 = *m_zoneStates[zone].health[0];
            const auto ipv6 = *m_zoneStates[zone].health[1];
            zones.push_back(
                {m_zones[zone].zone, m_zones[zone].name, zoneHealthOf(ipv4, ipv6), ipv4, ipv6});
            // The error code a refusing list answers shows at its test points.
            for (const std::size_t point : {std::size_t{0}, std::size_t{2}}) {
                if (const auto& answer = m_zoneStates[zone].points[point]) {
                    for (const auto& address : answer->addresses) {
                        zones.back().testAnswers.push_back(formatDottedQuad(address));
                    }
                }
            }
        }
        return zones;
    }

    const std::vector<CheckAddress>& m_addresses;
    const std::vector<CheckZone>& m_zones;
    const EngineSettings& m_settings;
    const AddressResultSink& m_sink;
    QuestionPacer m_pacer;
    std::unique_ptr<AresChannel> m_channel;
    std::vector<Question> m_questions;  // by index: c-ares holds indexes, not pointers
    std::vector<std::uint32_t> m_free;
    std::deque<std::uint32_t> m_priority;  // test points and reasons, not yet sent
    std::deque<std::pair<std::uint32_t, std::uint32_t>> m_reask;  // question, generation
    // Re-asks, and the deadlines of TXT questions (their own question's).
    std::priority_queue<Event, std::vector<Event>, std::greater<>> m_events;
    // The deadlines of the other questions, in sending order, which is their
    // order: a deadline per question in the heap would keep a whole time-out's
    // worth of them (some 20 MB in a large run), answered or not.
    std::deque<Event> m_deadlines;
    std::deque<YoungCopy> m_youngQueue;
    std::size_t m_young = 0;
    std::size_t m_copiesOut = 0;
    std::size_t m_open = 0;  // questions sent and not settled
    std::vector<ZoneState> m_zoneStates;
    std::deque<std::vector<ResultProgress>> m_held;  // from address m_emitted on
    std::size_t m_emitted = 0;
    std::size_t m_nextZone = 0;
    std::array<IpAddress, 4> m_points;
};

}  // namespace

std::variant<std::vector<CheckedZone>, EngineFailure> askListsStreaming(
    const std::vector<CheckAddress>& addresses, const std::vector<CheckZone>& zones,
    const EngineSettings& settings, const AddressResultSink& sink) {
    auto engine = std::make_unique<Engine>(addresses, zones, settings, sink);
    if (auto failure = engine->open()) {
        return *failure;
    }
    return engine->run();
}

std::variant<std::vector<ZoneProbe>, EngineFailure> probeZones(const std::vector<CheckZone>& zones,
                                                               const EngineSettings& settings) {
    const std::vector<CheckAddress> none;
    const AddressResultSink ignore = [](std::vector<CheckResult>&&) {};
    auto engine = std::make_unique<Engine>(none, zones, settings, ignore);
    if (auto failure = engine->open()) {
        return *failure;
    }
    engine->run();
    return engine->probes();
}

std::variant<CheckRun, EngineFailure> askLists(const std::vector<CheckAddress>& addresses,
                                               const std::vector<CheckZone>& zones,
                                               const EngineSettings& settings) {
    CheckRun run;
    run.results.reserve(addresses.size() * zones.size());
    auto asked =
        askListsStreaming(addresses, zones, settings, [&run](std::vector<CheckResult>&& results) {
            std::move(results.begin(), results.end(), std::back_inserter(run.results));
        });
    if (auto* failure = std::get_if<EngineFailure>(&asked)) {
        return *failure;
    }
    run.zones = std::get<std::vector<CheckedZone>>(std::move(asked));
    return run;
}

}  // namespace ostrivane
