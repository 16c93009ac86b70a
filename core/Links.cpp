#include "core/Links.h"

namespace corvane::Links {

std::string supportMailto(std::string_view version) {
    std::string url = "mailto:";
    url += supportEmail;
    url += "?subject=Corvane%20";
    for (char c : version) {
        if (c == ' ') {
            url += "%20";
        } else {
            url += c;
        }
    }
    return url;
}

}  // namespace corvane::Links
