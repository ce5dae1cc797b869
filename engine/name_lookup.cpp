#include "engine/name_lookup.h"

#include <memory>

namespace ostrivane {

namespace {

using Clock = std::chrono::steady_clock;

struct Slot {
    const NameQuestion* question = nullptr;
    NameAnswer* answer = nullptr;
    bool done = false;
    std::size_t* open = nullptr;
};

NameAnswer answerOf(const DnsRecords& records, RecordType type) {
    NameAnswer answer;
    switch (records.outcome) {
        case DnsRecords::Outcome::Records:
            answer.outcome = NameAnswer::Outcome::Records;
            break;
        case DnsRecords::Outcome::NoRecord:
            answer.outcome = NameAnswer::Outcome::NoRecord;
            return answer;
        case DnsRecords::Outcome::NoSuchName:
            answer.outcome = NameAnswer::Outcome::NoSuchName;
            return answer;
        case DnsRecords::Outcome::Unusable:
            answer.outcome = NameAnswer::Outcome::Failed;
            answer.problem = records.problem;
            return answer;
    }
    for (const auto& bytes : records.v4) {
        IpAddress address;
        std::copy(bytes.begin(), bytes.end(), address.bytes.begin());
        answer.addresses.push_back(address);
    }
    for (const auto& bytes : records.v6) {
        IpAddress address{IpAddress::Family::V6, bytes};
        answer.addresses.push_back(address);
    }
    if (type == RecordType::Mx) {
        answer.mx = records.mx;
    }
    answer.txt = records.txt;
    return answer;
}

void replied(void* context, std::uint64_t /*token*/, int status, const std::uint8_t* reply,
             std::size_t length) {
    auto* slot = static_cast<Slot*>(context);
    if (slot->done || AresChannel::isCancelled(status)) {
        return;
    }
    slot->done = true;
    --*slot->open;
    if (reply != nullptr) {
        *slot->answer =
            answerOf(readDnsReply(reply, length, slot->question->name, slot->question->type),
                     slot->question->type);
    } else {
        slot->answer->outcome = NameAnswer::Outcome::Failed;
        slot->answer->problem = "the server failed or refused to answer";
    }
}

bool isAddressQuestion(const NameQuestion& question) {
    return question.type == RecordType::A || question.type == RecordType::Aaaa;
}

}  // namespace

std::variant<std::vector<NameAnswer>, ChannelFailure> lookUpNames(
    const std::vector<NameQuestion>& questions, const LookupSettings& settings) {
    const auto deadline = Clock::now() + settings.timeout;
    std::vector<NameAnswer> answers(questions.size());
    std::vector<Slot> slots(questions.size());
    std::size_t open = 0;
    // Two tries within the time-out: c-ares doubles the second try's wait,
    // so a third and two thirds of it.
    auto opened = AresChannel::open(
        {std::max(std::chrono::milliseconds(1), settings.timeout / 3), 2, settings.servers});
    if (auto* failure = std::get_if<ChannelFailure>(&opened)) {
        return *failure;
    }
    auto channel = std::get<std::unique_ptr<AresChannel>>(std::move(opened));
    for (std::size_t i = 0; i < questions.size(); ++i) {
        slots[i] = {&questions[i], &answers[i], false, &open};
        if (isAddressQuestion(questions[i])) {
            if (auto fromFile = channel->hostsFileRecords(questions[i].name, questions[i].type)) {
                answers[i] = answerOf(*fromFile, questions[i].type);
                slots[i].done = true;
                continue;
            }
        }
        ++open;
        channel->ask(questions[i].name, questions[i].type, &replied, &slots[i]);
    }
    while (open > 0 && Clock::now() < deadline) {
        channel->pump(deadline);
    }
    for (auto& slot : slots) {
        slot.done = true;  // the channel's end calls back what is still open
    }
    channel.reset();
    return answers;
}

std::string nameAnswerText(const NameAnswer& answer) {
    switch (answer.outcome) {
        case NameAnswer::Outcome::Records:
            return "records";
        case NameAnswer::Outcome::NoRecord:
            return "no record";
        case NameAnswer::Outcome::NoSuchName:
            return "no such name";
        case NameAnswer::Outcome::TimedOut:
            return "no answer";
        case NameAnswer::Outcome::Failed:
            break;
    }
    return answer.problem;
}

}  // namespace ostrivane
