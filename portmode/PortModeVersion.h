// The utility's product texts: its window caption and about box.
#pragma once

// The application title and the about box's product name.
constexpr const char* ProductName = "Corvane KT Sensor CommsMode Utility";
// A caption reads ProductCaption followed by VersionText.
constexpr const char* ProductCaption = "Corvane KT Sensor CommsMode Utility ";
constexpr const char* VersionText = "Version 1.0";
