#pragma once

// Domain lists (RHSBL, RFC 5782 section 2.3): a domain is asked as itself in
// front of the list's zone, and a working list lists "test" and does not list
// "invalid" (section 5).

#include <string>
#include <string_view>

namespace ostrivane {

// "Example.ORG." in "dbl.example" -> "example.org.dbl.example".
std::string domainListQueryName(std::string_view domain, std::string_view zone);

struct DomainListTestPoints {
    std::string listed;    // "test.ZONE": a working list answers it
    std::string unlisted;  // "invalid.ZONE": a list that answers it lists everything
};

DomainListTestPoints domainListTestPoints(std::string_view zone);

}  // namespace ostrivane
