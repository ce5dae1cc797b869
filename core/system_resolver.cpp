#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "core/resolver.h"

#ifdef _WIN32
#include <winsock2.h>
#else
#include <netdb.h>
#include <sys/socket.h>
#endif

namespace ostrivane {

namespace {

Resolution fromHostEntry(const hostent* entry) {
    if (entry == nullptr || entry->h_addrtype != AF_INET || entry->h_length != 4 ||
        entry->h_addr_list == nullptr || entry->h_addr_list[0] == nullptr) {
        return {ResolveStatus::NotFound, {}};
    }
    std::array<std::uint8_t, 4> bytes{};
    std::memcpy(bytes.data(), entry->h_addr_list[0], bytes.size());
    return {ResolveStatus::Resolved, bytes};
}

}  // namespace

#ifdef _WIN32

void startNetwork() {
    WSADATA data;
    WSAStartup(0x0101, &data);
}

Resolution SystemResolver::resolve(std::string_view name) {
    const std::string host(name);
    const hostent* entry = gethostbyname(host.c_str());
    if (entry != nullptr) {
        return fromHostEntry(entry);
    }
    const int error = WSAGetLastError();
    if (error == WSAHOST_NOT_FOUND || error == WSANO_DATA) {
        return {ResolveStatus::NotFound, {}};
    }
    return {ResolveStatus::NoAnswer, {}};
}

#else

void startNetwork() {}

Resolution SystemResolver::resolve(std::string_view name) {
    const std::string host(name);
    hostent entry{};
    hostent* result = nullptr;
    int error = 0;
    std::vector<char> buffer(2048);
    int rc = 0;
    while ((rc = gethostbyname_r(host.c_str(), &entry, buffer.data(), buffer.size(), &result,
                                 &error)) == ERANGE &&
           buffer.size() < (1u << 20)) {
        buffer.resize(buffer.size() * 2);
    }
    if (rc == 0 && result != nullptr) {
        return fromHostEntry(result);
    }
    if (error == HOST_NOT_FOUND || error == NO_DATA) {
        return {ResolveStatus::NotFound, {}};
    }
    // h_errno's text (TRY_AGAIN: "Host name lookup failure"), or the call's
    // own error when it failed before asking.
    return {
        ResolveStatus::NoAnswer, {}, rc != 0 && error == 0 ? std::strerror(rc) : hstrerror(error)};
}

#endif

}  // namespace ostrivane
