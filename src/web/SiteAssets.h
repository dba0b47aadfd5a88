// The site's own style sheet and script, served from the program itself: no framework, no
// external asset. The style is put into each page (the overview works without any script); the
// script, which drives a link's page (days, the scrubber, playing, the same time of every day),
// is served at kBrowseScriptPath so that the pages' Content-Security-Policy can forbid inline
// scripts.
#pragma once

namespace kestrix::web {

extern const char* const kSiteStyle;
extern const char* const kBrowseScript;
constexpr const char* kBrowseScriptPath = "/static/browse.js";

} // namespace kestrix::web
