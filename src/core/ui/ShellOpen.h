// Handing addresses to the desktop's web browser, and the texts of the shell's failures.
#pragma once

#include <string>

namespace kestrix {

// The text of a shell failure code; empty for codes the table does not hold.
std::string shellErrorText(int code);

// The code the desktop reports when it has no program for the address.
constexpr int kShellNoAssociation = 31;

// Only a web address (http or https, or no scheme, which is taken as http) with a host may be
// handed to the desktop; anything else raises "Only web addresses (http or https) can be opened
// in the browser". Answers the address as it is to be opened.
std::string browserAddress(const std::string& address);

} // namespace kestrix
