#include "engine/list_answer.h"

#include <algorithm>

namespace ostrivane {

Resolution resolutionOf(const ListAnswer& answer) {
    switch (answer.kind) {
        case ListAnswer::Kind::Addresses:
            if (!answer.addresses.empty()) {
                return {ResolveStatus::Resolved, answer.addresses.front()};
            }
            break;
        case ListAnswer::Kind::NotFound:
            return {ResolveStatus::NotFound, std::nullopt};
        case ListAnswer::Kind::NoAnswer:
            break;
    }
    return {ResolveStatus::NoAnswer, std::nullopt};
}

bool isListingAnswer(const ListAnswer& answer) {
    return answer.kind == ListAnswer::Kind::Addresses && !answer.addresses.empty() &&
           std::all_of(answer.addresses.begin(), answer.addresses.end(), [](const auto& address) {
               return address[0] == 127 && !isListErrorAnswer(address);
           });
}

ListAnswer listAnswerOf(const DnsRecords& records) {
    ListAnswer answer;
    switch (records.outcome) {
        case DnsRecords::Outcome::Records:
            if (!records.v4.empty()) {
                answer.kind = ListAnswer::Kind::Addresses;
                answer.addresses = records.v4;
            }
            break;
        case DnsRecords::Outcome::NoRecord:
        case DnsRecords::Outcome::NoSuchName:
            answer.kind = ListAnswer::Kind::NotFound;
            break;
        case DnsRecords::Outcome::Unusable:
            break;
    }
    return answer;
}

CheckVerdict verdictOf(const ListAnswer& answer, ZoneHealth health, ZoneHealth otherFamily) {
    switch (health) {
        case ZoneHealth::EmptyOrDead:
            return otherFamily == ZoneHealth::Healthy ? CheckVerdict::NotCovered
                                                      : CheckVerdict::BrokenZone;
        case ZoneHealth::ListsEverything:
            return CheckVerdict::BrokenZone;
        case ZoneHealth::RefusesUs:
            return CheckVerdict::ListError;
        case ZoneHealth::Healthy:
            break;
    }
    switch (answer.kind) {
        case ListAnswer::Kind::Addresses:
            return isListingAnswer(answer) ? CheckVerdict::Listed : CheckVerdict::ListError;
        case ListAnswer::Kind::NotFound:
            return CheckVerdict::NotListed;
        case ListAnswer::Kind::NoAnswer:
            break;
    }
    return CheckVerdict::NoAnswer;
}

}  // namespace ostrivane
