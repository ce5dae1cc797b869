#pragma once

#include <string_view>

namespace ostrivane {

// The maker's monitoring service: the site the link label shows, and the page
// that a click on it opens. The service has no site of its own yet, so both
// stand on a reserved example domain until it has.
inline constexpr std::string_view kMakerSiteText = "www.ostrivane.example";
inline constexpr std::string_view kMakerPageAddress = "https://www.ostrivane.example/monitoring/";

}  // namespace ostrivane
