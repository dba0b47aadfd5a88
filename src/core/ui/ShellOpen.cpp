#include "core/ui/ShellOpen.h"

#include "core/util/Error.h"
#include "core/util/Text.h"

#include <algorithm>

namespace kestrix {

std::string shellErrorText(int code) {
    switch (code) {
    case 0:
        return "The operating system is out of memory or resources.";
    case 2:
        return "The specified file was not found.";
    case 3:
        return "The specified path was not found.";
    case 5:
        return "The operating system denied access to the specified file. ";
    case 8:
        return "There was not enough memory to complete the operation.";
    case 11:
        return "The .EXE file is invalid (non-Win32 .EXE or error in .EXE image).";
    case 26:
        return "A sharing violation occurred.";
    case 27:
        return "The filename association is incomplete or invalid.";
    case 28:
        return "The DDE transaction could not be completed because the request timed out.";
    case 29:
        return "The DDE transaction failed.";
    case 30:
        return "The DDE transaction could not be completed because other DDE transactions were "
               "being processed.";
    case 31:
        return "There is no application associated with the given filename extension.";
    case 32:
        return "The specified dynamic-link library was not found. ";
    default:
        return "";
    }
}

std::string browserAddress(const std::string& address) {
    auto refuse = [] {
        throw Error("Only web addresses (http or https) can be opened in the browser");
    };
    // Control characters and blanks could smuggle options or a second address to the desktop.
    if (address.empty() || address[0] == '-' ||
        std::any_of(address.begin(), address.end(),
                    [](char c) { return static_cast<unsigned char>(c) <= ' ' || c == 0x7F; }))
        refuse();
    std::string url = address;
    const size_t colon = url.find(':');
    const size_t slash = url.find('/');
    const bool hasScheme = colon != std::string::npos &&
                           (slash == std::string::npos || colon < slash) &&
                           url.compare(colon, 3, "://") == 0;
    if (hasScheme) {
        const std::string scheme = toLowerAscii(url.substr(0, colon));
        if (scheme != "http" && scheme != "https")
            refuse();
    } else if (colon != std::string::npos && (slash == std::string::npos || colon < slash) &&
               parseInt32(url.substr(colon + 1, (slash == std::string::npos ? url.size() : slash) -
                                                    colon - 1)) == std::nullopt) {
        refuse(); // "mailto:x", "file:/etc": a scheme without "//"
    } else {
        url = "http://" + url;
    }
    const size_t hostStart = url.find("://") + 3;
    const size_t hostEnd = url.find_first_of("/?#", hostStart);
    std::string host = url.substr(hostStart, hostEnd == std::string::npos ? std::string::npos
                                                                          : hostEnd - hostStart);
    if (const size_t at = host.rfind('@'); at != std::string::npos)
        host = host.substr(at + 1);
    if (host.empty() || host[0] == ':')
        refuse();
    return url;
}

} // namespace kestrix
