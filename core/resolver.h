#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "core/address.h"

namespace ostrivane {

// Why a name gave no address matters: a name that does not exist means "not
// listed", while a resolver that could not answer means "we do not know".
enum class ResolveStatus { Resolved, NotFound, NoAnswer };

struct Resolution {
    Resolution() = default;
    Resolution(ResolveStatus status_, IPv4Bytes address_, std::string reason_ = {})
        : status(status_), address(address_), reason(std::move(reason_)) {}

    ResolveStatus status = ResolveStatus::NoAnswer;
    IPv4Bytes address;   // set exactly when status is Resolved
    std::string reason;  // for NoAnswer, when the platform says why ("Host name lookup failure")
};

// Why a host gave no address, for a message: "the name does not exist", or
// "the DNS gave no answer" with the platform's reason in parentheses.
std::string unresolvedReason(const Resolution& answer);

// The one question the system asks the network: the first IPv4 address of a
// name. Tests give a scripted one; the program uses SystemResolver.
class Resolver {
  public:
    virtual ~Resolver() = default;
    virtual Resolution resolve(std::string_view name) = 0;
};

// The address alone, for callers that do not care why a name did not resolve.
IPv4Bytes resolveHost(Resolver& resolver, std::string_view name);

// Prepares the platform's socket library; a no-op where there is none to start.
void startNetwork();

// The platform's blocking host lookup, answering IPv4 only and keeping the
// first address in the order the DNS answer lists them (no sorting).
class SystemResolver final : public Resolver {
  public:
    Resolution resolve(std::string_view name) override;
};

}  // namespace ostrivane
