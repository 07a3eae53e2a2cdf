// The maker's addresses. The project publishes no home page or support
// address yet, so these are empty and the windows say so instead of showing
// an address; the help page stands in for the home page.
#pragma once

namespace kavrol {

inline constexpr const char* kProductName = "Kavrol Video Convert";
inline constexpr const char* kMakerLine = "Kavrol Video Convert developers";
inline constexpr const char* kHomePageAddress = "";
inline constexpr const char* kSupportAddress = "";
inline constexpr const char* kHelpFile = "Corvexa.html";

}  // namespace kavrol
