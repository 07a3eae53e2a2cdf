// kavrol-cli info FILE...
#pragma once

namespace kavrol {

// Prints the information report of each file; 1 when one is not media.
int run_info(int argc, char** argv, const char* usage);

}  // namespace kavrol
