// The folders of the machine that a deletion must never take whole: the system's own,
// the program folders, the profiles and the shell folders of every user.
#pragma once

#include <string>
#include <vector>

// Every such folder as the system names it now, each without trailing backslashes:
// the Windows, system (and 32-bit system) folders, Program Files and Common Files
// (both views on 64-bit systems), the profiles folder and every profile folder (the
// default user's included), and the application-data, Start Menu, Programs and
// Desktop folders of every user and of all users. A user's shell folders are read
// from the user's hive when it is loaded and are also derived from the current
// user's layout below each profile folder. Folders the system cannot name are left
// out; never throws, never logs.
std::vector<std::string> ListProtectedFolders();
