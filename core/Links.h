#pragma once
// The fixed addresses the tray menu opens: the release folder with its version file, manual and
// download, and the support address.
//
// No release server exists for this build, so every address lies under ".invalid", the top-level
// domain reserved never to resolve: the update check then fails with a plain "could not resolve
// host" reason instead of reaching a stranger's server. A packager with a real release folder
// changes releaseFolder and supportEmail here.

#include <string>
#include <string_view>

namespace corvane::Links {

inline constexpr std::string_view releaseFolder = "https://corvane.invalid/releases/";
inline constexpr std::string_view manual = "https://corvane.invalid/releases/manual.html";
inline constexpr std::string_view versionJSON = "https://corvane.invalid/releases/version.json";
// Where the "Download" choice of the update alert leads. There is no installer package for
// Linux, so this is the release folder itself, where the builds are listed.
inline constexpr std::string_view downloadMac = releaseFolder;
inline constexpr std::string_view supportEmail = "support@corvane.invalid";

// "mailto:" with the support address and the subject "Corvane <version>", blanks as "%20".
std::string supportMailto(std::string_view version);

}  // namespace corvane::Links
