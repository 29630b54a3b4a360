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

    // The current user's application-data folder and the common one.
    const std::string& UserAppData() const { return userAppData_; }
    const std::string& CommonAppData() const { return commonAppData_; }
    // The last component of the current user's application-data folder.
    const std::string& AppDataName() const { return appDataName_; }
    // Every profile folder the module will visit: the current user's, the three extra
    // ones, and the default user's last.
    const std::vector<std::string>& Profiles() const { return profiles_; }
    // The SIDs whose hives stay readable while the module runs (current user first).
    const std::vector<std::string>& LoadedSids() const { return loadedSids_; }
    const std::string& Scratch() const { return scratch_; }

    // Deletes a tree, but only inside the fixture's own places.
    void Remove(const std::string& path) const;

private:
    std::string AddProfile(const char* sid, bool withHive, bool preload);

    const std::string userAppData_, commonAppData_, appDataName_, scratch_, defaultFolder_;
    std::vector<std::string> profiles_, loadedSids_, allowed_;
};

}  // namespace kstest
