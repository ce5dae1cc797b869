#include "mail/domain_list.h"

#include "mail/mail_dns.h"

namespace ostrivane {

std::string domainListQueryName(std::string_view domain, std::string_view zone) {
    return normalDomainName(domain) + "." + normalDomainName(zone);
}

DomainListTestPoints domainListTestPoints(std::string_view zone) {
    return {domainListQueryName("test", zone), domainListQueryName("invalid", zone)};
}

}  // namespace ostrivane
