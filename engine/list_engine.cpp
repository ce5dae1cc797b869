#include "engine/list_engine.h"

#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/ip_address.h"
#include "engine/ares_channel.h"
#include "engine/held_results.h"
#include "engine/list_answer.h"
#include "engine/question_book.h"
#include "engine/question_pacer.h"
#include "engine/question_schedule.h"
#include "engine/zone_health_book.h"
#include "text/phrases.h"

namespace ostrivane {

namespace {

// Questions in flight, young or old, at most this many windows: young
// questions pace a server that reads its socket, this bounds what a server
// that has stopped reading (or a machine too busy to read the answers) can
// pile up, in c-ares's memory and in the server's queue.
constexpr std::size_t kInFlightWindows = 16;
// A question is sent at most this often: once and five re-asks, each later
// than the one before (see QuestionPacer::reaskAt), so that a server that
// stops reading for a while (a busy machine) does not lose all of them.
constexpr int kMaxCopies = 6;

// Drives one run: picks the next question (re-asks, then test points and
// reasons, then the zones' address questions in turn), sends it within the
// pacer's window, settles it by its answer or its deadline, and delivers the
// results as they are complete. The parts it drives keep the state: the
// questions (QuestionBook), their times (QuestionSchedule), the zones' health
// (ZoneHealthBook) and the results held (HeldResults).
class Engine {
  public:
    Engine(const std::vector<CheckAddress>& addresses, const std::vector<AskedZone>& zones,
           const EngineSettings& settings, const AddressResultSink& sink)
        : m_addresses(addresses),
          m_zones(zones),
          m_settings(settings),
          m_sink(sink),
          m_pacer(settings.timeout),
          m_zoneHealth(zones.size()),
          m_held(addresses, zones),
          m_nextAddress(zones.size(), 0) {}

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
                const auto index = m_questions.add(QuestionKind::Probe, zone, 0);
                m_questions[index].point = point;
                m_schedule.askSoon(index);
            }
        }
        for (;;) {
            const auto now = EngineClock::now();
            handleDue(now);
            m_schedule.ageYoung(now, m_pacer.youngAge(), m_questions);
            fill(now);
            m_held.deliverReady(m_zoneHealth, m_sink);
            fill(now);  // room made by the addresses just delivered
            // Copies of questions answered already may still be out: they
            // are not waited for, the channel's end drops them.
            if (m_questions.openCount() == 0 && m_schedule.nothingWaiting()) {
                break;
            }
            m_channel->pump(m_schedule.nextWake(now, m_settings.timeout,
                                                m_questions.young() >= m_pacer.window(),
                                                m_pacer.youngAge()));
        }
        m_questions.closeAll();  // the channel's end calls back what is still out
        m_channel.reset();
        m_zoneHealth.closeUnknown();
        m_held.deliverRest(m_zoneHealth, m_sink);
        return m_zoneHealth.checkedZones(m_zones);
    }

    // What each zone answered at the test points of both families, for the
    // zone check.
    std::vector<ZoneProbe> probes() const { return m_zoneHealth.probes(); }

  private:
    static void replied(void* context, std::uint64_t token, int status, const std::uint8_t* reply,
                        std::size_t length) {
        static_cast<Engine*>(context)->answered(static_cast<std::uint32_t>(token),
                                                static_cast<std::uint8_t>(token >> 32), status,
                                                reply, length);
    }

    std::string nameOf(const Question& question) const {
        const auto& zone = m_zones[question.zone].zone;
        if (question.asksTestPoint()) {
            return listQueryName(testPointAddress(question.point), zone);
        }
        return listQueryName(m_addresses[question.address].address, zone);
    }

    static RecordType typeOf(const Question& question) {
        return question.isReason() ? RecordType::Txt : RecordType::A;
    }

    void send(std::uint32_t index, EngineClock::time_point now) {
        auto& question = m_questions[index];
        if (question.copies == 0) {
            m_questions.open(question, now);
            if (!question.isReason()) {
                question.deadline = now + m_settings.timeout;
            }
            m_schedule.planDeadline(index, question);
        }
        const auto copy = m_questions.addCopy(question, now);
        m_schedule.addYoung(now, index, question, copy);
        if (question.copies < kMaxCopies) {
            if (const auto at = m_pacer.reaskAt(now, question.copies, question.deadline)) {
                m_schedule.planReask(*at, index, question);
            }
        }
        m_channel->ask(nameOf(question), typeOf(question), &Engine::replied, this,
                       index | (std::uint64_t{copy} << 32));
    }

    // Deadlines that have come settle their questions unanswered; a re-ask
    // whose question has no newer copy out counts it lost and asks again.
    void handleDue(EngineClock::time_point now) {
        while (const auto index = m_schedule.dueDeadline(now, m_questions)) {
            settle(*index, std::nullopt, 0, true);
        }
        while (const auto event = m_schedule.dueEvent(now, m_questions)) {
            auto& question = m_questions[event->question];
            if (event->kind == QuestionEventKind::Deadline) {
                settle(event->question, std::nullopt, 0, true);
            } else if (question.copies == event->copies) {
                m_pacer.lost(question.lastSent, now);
                for (std::uint8_t copy = 0; copy < question.copies; ++copy) {
                    m_questions.forget(question, copy);
                    m_questions.drop(question, copy);
                }
                m_schedule.reaskNext(event->question, event->generation);
            }
        }
    }

    // The next address question of `zone`, when it has one to ask now.
    std::optional<std::uint32_t> nextAddressQuestion(std::size_t zone) {
        auto& next = m_nextAddress[zone];
        while (next < m_addresses.size()) {
            const auto family = familyOf(m_addresses[next].address);
            const auto& health = m_zoneHealth.health(zone, family);
            if (health && *health != ZoneHealth::Healthy) {
                ++next;  // settled by the zone's health, nothing to ask
                continue;
            }
            if (!m_zoneHealth.mayAsk(zone, family) || !m_held.hold(next)) {
                return std::nullopt;
            }
            const bool unproven = !health;
            const auto index = m_questions.add(QuestionKind::Address, zone, next++);
            if (unproven) {
                m_questions[index].unproven = true;
                m_zoneHealth.unprovenAsked(zone, family);
            }
            return index;
        }
        return std::nullopt;
    }

    std::optional<std::uint32_t> nextQuestion() {
        if (const auto index = m_schedule.nextReask(m_questions)) {
            return index;
        }
        while (const auto index = m_schedule.nextSoon()) {
            const auto& question = m_questions[*index];
            if (!question.isReason() || question.deadline > EngineClock::now()) {
                return index;
            }
            settle(*index, std::nullopt, 0);  // a reason whose time is up
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

    void fill(EngineClock::time_point now) {
        while (m_questions.young() < m_pacer.window() &&
               m_questions.copiesOut() < kInFlightWindows * m_pacer.window()) {
            const auto index = nextQuestion();
            if (!index) {
                return;
            }
            send(*index, now);
        }
    }

    void answered(std::uint32_t index, std::uint8_t copy, int status, const std::uint8_t* reply,
                  std::size_t length) {
        auto& question = m_questions[index];
        --question.outstanding;
        m_questions.forget(question, copy);
        m_questions.drop(question, copy);
        if (AresChannel::isCancelled(status)) {
            m_questions.release(index);
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
        m_questions.release(index);
    }

    // Records what came of a question: its reply, or none (time-out, failure).
    void settle(std::uint32_t index, std::optional<const std::uint8_t*> reply, std::size_t length,
                bool timedOut = false) {
        // A copy: the questions settled here may add questions, and move the
        // book's slots.
        const Question question = m_questions[index];
        m_questions.settle(m_questions[index]);
        const auto records =
            reply ? readDnsReply(*reply, length, nameOf(question), typeOf(question)) : DnsRecords{};
        auto answer = listAnswerOf(records);
        answer.timedOut = timedOut;
        switch (question.kind) {
            case QuestionKind::Probe:
                settleProbe(question, std::move(answer));
                break;
            case QuestionKind::Address:
                settleAddress(question, std::move(answer));
                break;
            case QuestionKind::Reason:
                if (auto* result = m_held.progressOf(question.address, question.zone)) {
                    result->reason = joined(records.txt, "; ");
                    result->done = true;
                }
                break;
            case QuestionKind::ProbeReason:
                m_zoneHealth.refusalAnswered(question.zone, joined(records.txt, "; "));
                break;
        }
        m_questions.release(index);
    }

    // The TXT record beside an answer, asked within its question's deadline.
    void askReason(QuestionKind kind, const Question& question) {
        const auto reason = m_questions.add(kind, question.zone, question.address);
        m_questions[reason].point = question.point;
        m_questions[reason].deadline = question.deadline;
        m_schedule.askSoon(reason);
    }

    void settleProbe(const Question& question, ListAnswer answer) {
        if (answer.kind == ListAnswer::Kind::Addresses && !isListingAnswer(answer)) {
            // An error code where a test point was asked: the list's TXT
            // record says why ("query refused: ..."), for every verdict.
            askReason(QuestionKind::ProbeReason, question);
            m_zoneHealth.refusalAsked(question.zone);
        }
        m_zoneHealth.record(question.zone, question.point, std::move(answer));
    }

    void settleAddress(const Question& question, ListAnswer answer) {
        if (question.unproven) {
            m_zoneHealth.unprovenSettled(question.zone,
                                         familyOf(m_addresses[question.address].address));
        }
        auto* result = m_held.progressOf(question.address, question.zone);
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
        askReason(QuestionKind::Reason, question);
    }

    const std::vector<CheckAddress>& m_addresses;
    const std::vector<AskedZone>& m_zones;
    const EngineSettings& m_settings;
    const AddressResultSink& m_sink;
    QuestionPacer m_pacer;
    std::unique_ptr<AresChannel> m_channel;
    QuestionBook m_questions;
    QuestionSchedule m_schedule;
    ZoneHealthBook m_zoneHealth;
    HeldResults m_held;
    std::vector<std::size_t> m_nextAddress;  // per zone: the next address to ask it about
    std::size_t m_nextZone = 0;
};

}  // namespace

std::variant<std::vector<CheckedZone>, EngineFailure> askListsStreaming(
    const std::vector<CheckAddress>& addresses, const std::vector<AskedZone>& zones,
    const EngineSettings& settings, const AddressResultSink& sink) {
    auto engine = std::make_unique<Engine>(addresses, zones, settings, sink);
    if (auto failure = engine->open()) {
        return *failure;
    }
    return engine->run();
}

std::variant<std::vector<ZoneProbe>, EngineFailure> probeZones(const std::vector<AskedZone>& zones,
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
                                               const std::vector<AskedZone>& zones,
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
