#include "engine/mail_lookup.h"

namespace ostrivane {

namespace {

RecordType recordTypeOf(DnsType type) {
    switch (type) {
        case DnsType::A:
            return RecordType::A;
        case DnsType::AAAA:
            return RecordType::Aaaa;
        case DnsType::MX:
            return RecordType::Mx;
        case DnsType::TXT:
            break;
    }
    return RecordType::Txt;
}

DnsAnswer mailAnswerOf(NameAnswer answer) {
    DnsAnswer out;
    switch (answer.outcome) {
        case NameAnswer::Outcome::Records:
            out.outcome = DnsOutcome::Answered;
            break;
        case NameAnswer::Outcome::NoRecord:
            out.outcome = DnsOutcome::NoData;
            break;
        case NameAnswer::Outcome::NoSuchName:
            out.outcome = DnsOutcome::NoName;
            break;
        case NameAnswer::Outcome::TimedOut:
            out.outcome = DnsOutcome::TimedOut;
            break;
        case NameAnswer::Outcome::Failed:
            out.outcome = DnsOutcome::Failed;
            break;
    }
    out.addresses = std::move(answer.addresses);
    for (const auto& mx : answer.mx) {
        out.mx.push_back({mx.preference, normalDomainName(mx.host)});
    }
    out.texts = std::move(answer.txt);
    return out;
}

}  // namespace

DnsRound mailDnsRound(LookupSettings settings) {
    return [settings = std::move(settings)](const std::vector<DnsQuestion>& questions) {
        std::vector<NameQuestion> asked;
        for (const auto& question : questions) {
            asked.push_back({question.name, recordTypeOf(question.type)});
        }
        std::vector<DnsAnswer> answers(questions.size());
        auto answered = lookUpNames(asked, settings);
        if (auto* found = std::get_if<std::vector<NameAnswer>>(&answered)) {
            for (std::size_t i = 0; i < found->size() && i < answers.size(); ++i) {
                answers[i] = mailAnswerOf(std::move((*found)[i]));
            }
        } else {
            for (auto& answer : answers) {
                answer.outcome = DnsOutcome::Failed;
            }
        }
        return answers;
    };
}

}  // namespace ostrivane
