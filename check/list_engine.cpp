#include "check/list_engine.h"

#include <ares.h>
#include <arpa/nameser.h>
#include <poll.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>

#include "check/list_answer.h"
#include "core/address.h"

namespace ostrivane {

namespace {

using Clock = std::chrono::steady_clock;

// How many of a zone's address questions may be in flight before its health is
// known. Enough to keep a healthy zone busy for the first round trip, few
// enough that three dead zones never hold more than a fraction of the places.
constexpr std::size_t kUnprovenZoneInFlight = 16;

enum class QuestionKind { For127_0_0_2, For127_0_0_1, Address, Reason };

class Engine;

struct Question {
    Engine* engine = nullptr;
    QuestionKind kind = QuestionKind::Address;
    std::size_t zone = 0;
    std::size_t result = 0;  // Address and Reason: the result it answers
    std::string name;
    Clock::time_point deadline{};
    bool done = false;
};

struct ZoneProgress {
    std::optional<ListAnswer> for127_0_0_2;
    std::optional<ListAnswer> for127_0_0_1;
    std::optional<ZoneHealth> health;
    std::size_t nextAddress = 0;  // the next address to ask it about
    std::size_t inFlight = 0;     // its address questions in flight
};

struct ResultProgress {
    ListAnswer answer;
    std::string reason;
};

std::once_flag aresInitialised;

std::string joinedTxt(const ares_txt_ext* records) {
    std::string text;
    bool first = true;
    for (const auto* part = records; part != nullptr; part = part->next) {
        if (part->record_start != 0 && !first) {
            text += "; ";
        }
        text.append(reinterpret_cast<const char*>(part->txt), part->length);
        first = false;
    }
    return text;
}

ListAnswer aAnswerOf(int status, const unsigned char* reply, int length) {
    ListAnswer answer;
    if (status == ARES_ENOTFOUND || status == ARES_ENODATA) {
        answer.kind = ListAnswer::Kind::NotFound;
        return answer;
    }
    if (status != ARES_SUCCESS) {
        answer.timedOut = status == ARES_ETIMEOUT;
        return answer;
    }
    std::array<ares_addrttl, 64> records{};
    int count = static_cast<int>(records.size());
    const int parsed = ares_parse_a_reply(reply, length, nullptr, records.data(), &count);
    if (parsed == ARES_ENODATA || (parsed == ARES_SUCCESS && count == 0)) {
        answer.kind = ListAnswer::Kind::NotFound;
        return answer;
    }
    if (parsed != ARES_SUCCESS) {
        return answer;
    }
    answer.kind = ListAnswer::Kind::Addresses;
    for (int i = 0; i < count; ++i) {
        std::array<std::uint8_t, 4> address{};
        std::memcpy(address.data(), &records[static_cast<std::size_t>(i)].ipaddr, 4);
        answer.addresses.push_back(address);
    }
    return answer;
}

class Engine {
  public:
    Engine(const std::vector<CheckAddress>& addresses, const std::vector<CheckZone>& zones,
           const EngineSettings& settings)
        : m_addresses(addresses),
          m_zones(zones),
          m_settings(settings),
          m_zoneProgress(zones.size()),
          m_results(addresses.size() * zones.size()) {}

    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    ~Engine() {
        if (m_channel != nullptr) {
            // Calls back every question still in c-ares; all are done by now.
            ares_destroy(m_channel);
        }
    }

    std::optional<EngineFailure> open() {
        int status = ARES_SUCCESS;
        std::call_once(aresInitialised,
                       [&status] { status = ares_library_init(ARES_LIB_INIT_ALL); });
        if (status != ARES_SUCCESS) {
            return EngineFailure{std::string("cannot start the DNS library: ") +
                                 ares_strerror(status)};
        }
        ares_options options{};
        // Two tries within the time-out: c-ares doubles the second try's wait,
        // so a third and two thirds of it.
        const auto timeoutMs = static_cast<int>(m_settings.timeout.count());
        options.timeout = std::max(1, timeoutMs / 3);
        options.tries = 2;
        options.flags = ARES_FLAG_NOSEARCH;
        const int mask = ARES_OPT_TIMEOUTMS | ARES_OPT_TRIES | ARES_OPT_FLAGS;
        status = ares_init_options(&m_channel, &options, mask);
        if (status != ARES_SUCCESS) {
            m_channel = nullptr;
            return EngineFailure{std::string("cannot set up the DNS resolver: ") +
                                 ares_strerror(status)};
        }
        if (!m_settings.servers.empty()) {
            std::string csv;
            for (const auto& server : m_settings.servers) {
                csv += (csv.empty() ? "" : ",") + server;
            }
            status = ares_set_servers_ports_csv(m_channel, csv.c_str());
            if (status != ARES_SUCCESS) {
                return EngineFailure{"cannot use the DNS servers " + csv + ": " +
                                     ares_strerror(status)};
            }
        }
        return std::nullopt;
    }

    CheckRun run() {
        for (std::size_t zone = 0; zone < m_zones.size(); ++zone) {
            m_priority.push_back(newQuestion(QuestionKind::For127_0_0_2, zone, 0,
                                             queryName("2.0.0.127", m_zones[zone].zone)));
            m_priority.push_back(newQuestion(QuestionKind::For127_0_0_1, zone, 0,
                                             queryName("1.0.0.127", m_zones[zone].zone)));
        }
        fill();
        while (!m_inFlight.empty()) {
            wait();
            expire(Clock::now());
            fill();
        }
        return results();
    }

    std::vector<ZoneProbe> probes() const {
        std::vector<ZoneProbe> probes;
        for (const auto& progress : m_zoneProgress) {
            probes.push_back({progress.for127_0_0_2.value_or(ListAnswer{}),
                              progress.for127_0_0_1.value_or(ListAnswer{}),
                              progress.health.value_or(ZoneHealth::EmptyOrDead)});
        }
        return probes;
    }

  private:
    static void answered(void* arg, int status, int /*timeouts*/, unsigned char* reply,
                         int length) {
        auto* question = static_cast<Question*>(arg);
        if (!question->done) {
            question->engine->finish(*question, status, reply, length);
        }
    }

    Question* newQuestion(QuestionKind kind, std::size_t zone, std::size_t result,
                          std::string name) {
        m_questions.push_back({this, kind, zone, result, std::move(name), {}, false});
        return &m_questions.back();
    }

    void send(Question* question, Clock::time_point deadline) {
        question->deadline = deadline;
        m_inFlight.push_back(question);
        if (question->kind == QuestionKind::Address) {
            ++m_zoneProgress[question->zone].inFlight;
        }
        // May call back at once (a question c-ares cannot even send).
        ares_query(m_channel, question->name.c_str(), ns_c_in,
                   question->kind == QuestionKind::Reason ? ns_t_txt : ns_t_a, &Engine::answered,
                   question);
        // c-ares keeps its own copy; a run of 65,536 addresses keeps every
        // question until the end, so it should not keep every name too.
        std::string().swap(question->name);
    }

    bool mayAsk(std::size_t zone) const {
        const auto& progress = m_zoneProgress[zone];
        if (progress.nextAddress >= m_addresses.size()) {
            return false;
        }
        if (!progress.health) {
            return progress.inFlight < kUnprovenZoneInFlight;
        }
        return *progress.health == ZoneHealth::Healthy;
    }

    // Health and reason questions first, then the address questions, taking
    // the zones in turn so that each address is asked of every zone before the
    // next address.
    void fill() {
        while (m_inFlight.size() < m_settings.maxOutstanding) {
            if (!m_priority.empty()) {
                Question* question = m_priority.front();
                m_priority.pop_front();
                const auto deadline = question->kind == QuestionKind::Reason
                                          ? question->deadline
                                          : Clock::now() + m_settings.timeout;
                if (deadline > Clock::now()) {
                    send(question, deadline);
                } else {
                    question->done = true;
                }
                continue;
            }
            bool sent = false;
            for (std::size_t turn = 0; turn < m_zones.size() && !sent; ++turn) {
                const std::size_t zone = (m_nextZone + turn) % m_zones.size();
                if (!mayAsk(zone)) {
                    continue;
                }
                const std::size_t address = m_zoneProgress[zone].nextAddress++;
                const std::size_t result = address * m_zones.size() + zone;
                send(newQuestion(QuestionKind::Address, zone, result,
                                 listQueryName(m_addresses[address].address, m_zones[zone].zone)),
                     Clock::now() + m_settings.timeout);
                m_nextZone = zone + 1;
                sent = true;
            }
            if (!sent) {
                return;
            }
        }
    }

    void finish(Question& question, int status, const unsigned char* reply, int length) {
        question.done = true;
        std::erase(m_inFlight, &question);
        switch (question.kind) {
            case QuestionKind::For127_0_0_2:
            case QuestionKind::For127_0_0_1: {
                auto& progress = m_zoneProgress[question.zone];
                auto& slot = question.kind == QuestionKind::For127_0_0_2 ? progress.for127_0_0_2
                                                                         : progress.for127_0_0_1;
                slot = aAnswerOf(status, reply, length);
                if (progress.for127_0_0_2 && progress.for127_0_0_1) {
                    progress.health = classifyZone(resolutionOf(*progress.for127_0_0_2),
                                                   resolutionOf(*progress.for127_0_0_1));
                }
                break;
            }
            case QuestionKind::Address: {
                --m_zoneProgress[question.zone].inFlight;
                auto& result = m_results[question.result];
                result.answer = aAnswerOf(status, reply, length);
                if (isListingAnswer(result.answer) && reply != nullptr) {
                    const auto& address = m_addresses[question.result / m_zones.size()].address;
                    Question* reason =
                        newQuestion(QuestionKind::Reason, question.zone, question.result,
                                    listQueryName(address, m_zones[question.zone].zone));
                    reason->deadline = question.deadline;
                    m_priority.push_back(reason);
                }
                break;
            }
            case QuestionKind::Reason:
                if (status == ARES_SUCCESS) {
                    ares_txt_ext* records = nullptr;
                    if (ares_parse_txt_reply_ext(reply, length, &records) == ARES_SUCCESS) {
                        m_results[question.result].reason = joinedTxt(records);
                    }
                    ares_free_data(records);
                }
                break;
        }
    }

    void expire(Clock::time_point now) {
        std::vector<Question*> late;
        for (Question* question : m_inFlight) {
            if (question->deadline <= now) {
                late.push_back(question);
            }
        }
        for (Question* question : late) {
            finish(*question, ARES_ETIMEOUT, nullptr, 0);
        }
    }

    void wait() {
        const auto now = Clock::now();
        auto next = Clock::time_point::max();
        for (const Question* question : m_inFlight) {
            next = std::min(next, question->deadline);
        }
        auto waitMs =
            next <= now ? 0 : std::chrono::ceil<std::chrono::milliseconds>(next - now).count();
        timeval most{static_cast<time_t>(waitMs / 1000),
                     static_cast<suseconds_t>((waitMs % 1000) * 1000)};
        timeval buffer{};
        if (const timeval* aresWait = ares_timeout(m_channel, &most, &buffer)) {
            waitMs = std::min<long long>(
                waitMs, aresWait->tv_sec * 1000LL + (aresWait->tv_usec + 999) / 1000);
        }

        std::array<ares_socket_t, ARES_GETSOCK_MAXNUM> sockets{};
        const int bits = ares_getsock(m_channel, sockets.data(), ARES_GETSOCK_MAXNUM);
        std::vector<pollfd> fds;
        for (int i = 0; i < ARES_GETSOCK_MAXNUM; ++i) {
            short events = 0;
            if (ARES_GETSOCK_READABLE(bits, i)) {
                events |= POLLIN;
            }
            if (ARES_GETSOCK_WRITABLE(bits, i)) {
                events |= POLLOUT;
            }
            if (events != 0) {
                fds.push_back({sockets[static_cast<std::size_t>(i)], events, 0});
            }
        }
        const int ready = poll(fds.data(), fds.size(), static_cast<int>(waitMs));
        bool processed = false;
        if (ready > 0) {
            for (const auto& fd : fds) {
                if (fd.revents == 0) {
                    continue;
                }
                const bool readable = (fd.revents & (POLLIN | POLLERR | POLLHUP)) != 0;
                const bool writable = (fd.revents & POLLOUT) != 0;
                ares_process_fd(m_channel, readable ? fd.fd : ARES_SOCKET_BAD,
                                writable ? fd.fd : ARES_SOCKET_BAD);
                processed = true;
            }
        }
        if (!processed) {
            // Lets c-ares retry or give up on the questions whose wait ended.
            ares_process_fd(m_channel, ARES_SOCKET_BAD, ARES_SOCKET_BAD);
        }
    }

    CheckRun results() const {
        CheckRun run;
        for (std::size_t zone = 0; zone < m_zones.size(); ++zone) {
            run.zones.push_back({m_zones[zone].zone, m_zones[zone].name,
                                 m_zoneProgress[zone].health.value_or(ZoneHealth::EmptyOrDead)});
        }
        run.results.reserve(m_results.size());
        for (std::size_t address = 0; address < m_addresses.size(); ++address) {
            for (std::size_t zone = 0; zone < m_zones.size(); ++zone) {
                const auto& progress = m_results[address * m_zones.size() + zone];
                CheckResult result;
                result.target = m_addresses[address].target;
                result.address = formatIpAddress(m_addresses[address].address);
                result.zone = m_zones[zone].zone;
                result.verdict = verdictOf(progress.answer, run.zones[zone].health);
                if (progress.answer.kind == ListAnswer::Kind::Addresses) {
                    for (const auto& answer : progress.answer.addresses) {
                        result.answers.push_back(formatDottedQuad(answer));
                    }
                }
                if (result.verdict == CheckVerdict::Listed) {
                    result.reason = progress.reason;
                }
                run.results.push_back(std::move(result));
            }
        }
        return run;
    }

    const std::vector<CheckAddress>& m_addresses;
    const std::vector<CheckZone>& m_zones;
    const EngineSettings& m_settings;
    ares_channel m_channel = nullptr;
    std::deque<Question> m_questions;  // a deque: c-ares holds pointers into it
    std::deque<Question*> m_priority;
    std::vector<Question*> m_inFlight;
    std::vector<ZoneProgress> m_zoneProgress;
    std::vector<ResultProgress> m_results;
    std::size_t m_nextZone = 0;
};

}  // namespace

std::variant<CheckRun, EngineFailure> askLists(const std::vector<CheckAddress>& addresses,
                                               const std::vector<CheckZone>& zones,
                                               const EngineSettings& settings) {
    auto engine = std::make_unique<Engine>(addresses, zones, settings);
    if (auto failure = engine->open()) {
        return *failure;
    }
    return engine->run();
}

std::variant<std::vector<ZoneProbe>, EngineFailure> probeZones(const std::vector<CheckZone>& zones,
                                                               const EngineSettings& settings) {
    const std::vector<CheckAddress> none;
    auto engine = std::make_unique<Engine>(none, zones, settings);
    if (auto failure = engine->open()) {
        return *failure;
    }
    engine->run();
    return engine->probes();
}

}  // namespace ostrivane
