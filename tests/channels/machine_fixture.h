// The machine-wide places channel cleanup and statistics work in, set up and taken down
// by the tests: extra profiles in the profile list (a logged-on user, a user whose hive
// the test keeps loaded, a logged-off user, the default user), the real common and
// per-user data folders, and the restart list. Everything is removed again at the end.
#pragma once

#include "support/test_env.h"

#include <string>
#include <vector>

namespace kstest {

constexpr char kLoggedOnSid[] = "S-1-5-21-7101-7102-7103-1001";   // a key under HKU
constexpr char kPreloadedSid[] = "S-1-5-21-7101-7102-7103-1002";  // hive loaded by the test
constexpr char kLoggedOffSid[] = "S-1-5-21-7101-7102-7103-1003";  // hive file only

class MachineFixture : Uncopyable {
public:
    MachineFixture();
    ~MachineFixture();

    // Deletes a tree, but only inside the fixture's own places.
    void Remove(const std::string& path) const;

    // The current user's application-data folder and the common one, the last component
    // of the current user's, a scratch folder and the default user's profile folder.
    const std::string userAppData, commonAppData, appDataName, scratch, defaultFolder;
    // Every profile folder the module will visit: the current user's, the three extra
    // ones, and the default user's last.
    std::vector<std::string> profiles;
    // The SIDs whose hives stay readable while the module runs (current user first).
    std::vector<std::string> loadedSids;

private:
    std::string AddProfile(const char* sid, bool withHive, bool preload);

    std::vector<std::string> allowed_;
};

}  // namespace kstest
