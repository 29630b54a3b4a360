// The safety rule for folder names read from channels.ini or passed by a caller: a name
// is used only when it stays inside the folder it is appended to.
#pragma once

#include <string>

enum class LocationVerdict {
    Empty,    // no location: nothing to delete
    Usable,   // `relative` may be appended to the channels and triggers folders
    Refused,  // the value would leave those folders (or name them whole)
};

struct ChannelLocation {
    LocationVerdict verdict = LocationVerdict::Empty;
    std::string relative;
};

// Judges a "location" value: one whose second character is ':' is absolute and only
// its last component counts; a relative one is refused when it begins with "\" or "/",
// or has a component that is empty, "." or "..", only dots and blanks, or holds ':',
// '*' or '?'. A one-character value counts as relative.
ChannelLocation JudgeLocation(const std::string& value);

// Whether `relative` may be appended to a folder without leaving it or naming it whole
// (the checks of JudgeLocation for a relative value).
bool IsContainedName(const std::string& relative);
