// The product texts of the main application's window captions and about box.
#pragma once

// A caption reads ProductCaption followed by VersionText.
constexpr const char* ProductCaption = "Halvorine Brindlecot ";
constexpr const char* VersionText = "Version 2.2";
