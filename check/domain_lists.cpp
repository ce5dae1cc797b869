#include "check/domain_lists.h"

#include "core/address.h"
#include "engine/list_answer.h"
#include "mail/domain_list.h"
#include "text/phrases.h"

namespace ostrivane {

namespace {

ListAnswer listAnswerOf(const NameAnswer& answer) {
    ListAnswer list;
    switch (answer.outcome) {
        case NameAnswer::Outcome::Records:
            list.kind = ListAnswer::Kind::Addresses;
            for (const auto& address : answer.addresses) {
                if (address.family == IpAddress::Family::V4) {
                    list.addresses.push_back(
                        {address.bytes[0], address.bytes[1], address.bytes[2], address.bytes[3]});
                }
            }
            break;
        case NameAnswer::Outcome::NoRecord:
        case NameAnswer::Outcome::NoSuchName:
            list.kind = ListAnswer::Kind::NotFound;
            break;
        default:
            list.kind = ListAnswer::Kind::NoAnswer;
    }
    return list;
}

// 127.0.1.255: a domain list saying it was asked about an address, as the
// domain lists we know say it; a list of the catalog says it in its own codes.
bool isAddressAskedAnswer(const ListAnswer& answer) {
    return std::any_of(answer.addresses.begin(), answer.addresses.end(), [](const auto& a) {
        return a[0] == 127 && a[1] == 0 && a[2] == 1 && a[3] == 255;
    });
}

struct Asked {
    std::vector<NameQuestion> questions;
    std::size_t firstSubject = 0;  // the test points come first, two per zone
};

Asked questionsOf(const std::vector<DomainSubject>& subjects, const std::vector<AskedZone>& zones) {
    Asked asked;
    for (const auto& zone : zones) {
        const auto points = domainListTestPoints(zone.zone);
        asked.questions.push_back({points.listed, RecordType::A});
        asked.questions.push_back({points.unlisted, RecordType::A});
    }
    asked.firstSubject = asked.questions.size();
    for (const auto& subject : subjects) {
        for (const auto& zone : zones) {
            asked.questions.push_back(
                {domainListQueryName(subject.name, zone.zone), RecordType::A});
        }
    }
    return asked;
}

void addReasons(DomainListRun& run, const std::vector<NameQuestion>& listed,
                const std::vector<std::size_t>& resultOf, const LookupSettings& settings) {
    if (listed.empty()) {
        return;
    }
    const auto answered = lookUpNames(listed, settings);
    if (const auto* answers = std::get_if<std::vector<NameAnswer>>(&answered)) {
        for (std::size_t i = 0; i < answers->size(); ++i) {
            run.results[resultOf[i]].reason = joined((*answers)[i].txt, "; ");
        }
    }
}

}  // namespace

std::variant<std::vector<DomainListProbe>, EngineFailure> probeDomainLists(
    const std::vector<AskedZone>& zones, const LookupSettings& settings) {
    std::vector<DomainListProbe> probes;
    if (zones.empty()) {
        return probes;
    }
    auto answered = lookUpNames(questionsOf({}, zones).questions, settings);
    if (const auto* failure = std::get_if<ChannelFailure>(&answered)) {
        return EngineFailure{failure->reason};
    }
    const auto& answers = std::get<std::vector<NameAnswer>>(answered);
    for (std::size_t z = 0; z < zones.size(); ++z) {
        DomainListProbe probe{listAnswerOf(answers[2 * z]), listAnswerOf(answers[2 * z + 1])};
        probe.health = classifyZone(resolutionOf(probe.forTest), resolutionOf(probe.forInvalid));
        probes.push_back(std::move(probe));
    }
    return probes;
}

std::variant<DomainListRun, EngineFailure> askDomainLists(
    const std::vector<DomainSubject>& subjects, const std::vector<AskedZone>& zones,
    const LookupSettings& settings) {
    DomainListRun run;
    if (subjects.empty() || zones.empty()) {
        return run;
    }
    const auto asked = questionsOf(subjects, zones);
    auto answered = lookUpNames(asked.questions, settings);
    if (const auto* failure = std::get_if<ChannelFailure>(&answered)) {
        return EngineFailure{failure->reason};
    }
    const auto& answers = std::get<std::vector<NameAnswer>>(answered);
    for (std::size_t z = 0; z < zones.size(); ++z) {
        const auto health = classifyZone(resolutionOf(listAnswerOf(answers[2 * z])),
                                         resolutionOf(listAnswerOf(answers[2 * z + 1])));
        // A domain list answers for names, not for an address family: its
        // state stands for both.
        CheckedZone checked;
        checked.zone = zones[z].zone;
        checked.name = zones[z].name;
        checked.health = checked.ipv4 = checked.ipv6 = health;
        checked.domainList = true;
        for (const auto& address : listAnswerOf(answers[2 * z]).addresses) {
            checked.testAnswers.push_back(formatDottedQuad(address));
        }
        run.zones.push_back(std::move(checked));
    }
    std::vector<NameQuestion> listed;
    std::vector<std::size_t> resultOf;
    std::size_t at = asked.firstSubject;
    for (const auto& subject : subjects) {
        for (std::size_t z = 0; z < zones.size(); ++z, ++at) {
            const auto answer = listAnswerOf(answers[at]);
            CheckResult result;
            result.target = subject.target;
            result.address = subject.name;
            result.zone = zones[z].zone;
            result.verdict = verdictOf(answer, run.zones[z].health);
            if (result.verdict == CheckVerdict::Listed && !zones[z].decodedByCatalog &&
                isAddressAskedAnswer(answer)) {
                result.verdict = CheckVerdict::ListError;
            }
            for (const auto& address : answer.addresses) {
                result.answers.push_back(formatDottedQuad(address));
            }
            result.via = subject.via;
            if (result.verdict == CheckVerdict::Listed) {
                listed.push_back({asked.questions[at].name, RecordType::Txt});
                resultOf.push_back(run.results.size());
            }
            run.results.push_back(std::move(result));
        }
    }
    addReasons(run, listed, resultOf, settings);
    return run;
}

}  // namespace ostrivane
