// Where the product keeps its statistics: the statistics folders and their vluser.cfg,
// shared by all users or per user, and the profile-relative form of a per-user path.
#pragma once

#include <string>

// The application-data folder of all users (`common`) or of the current user, from the
// shell-folder keys, else the Windows folder + "\Application Data"; no trailing
// backslash.
std::string AppDataFolder(bool common);

// "<application data>\Velm\vlny", created with its parents when missing; the
// application-data folder itself when it cannot be created.
std::string StatsFolder(bool common);

// StatsFolder(common) + "\vluser.cfg".
std::string StatsFile(bool common);

// Whether `folder` is a real statistics folder and not the application-data folder a
// failed creation fell back to (whose other content is not the product's).
bool IsOwnStatsFolder(const std::string& folder);

// `path` relative to the current user's profile folder (the parent of the current
// user's application-data folder), without a leading backslash; empty when `path`
// does not lie below that folder.
std::string MakeProfileRelative(const std::string& path);
