#include "install/agent_startup.h"

#include "config/config_document.h"
#include "config/util.h"
#include "frame/exports.h"
#include "install/agent.h"
#include "install/multi_user.h"
#include "platform/all_users.h"
#include "platform/reg_key.h"
#include "text/format.h"

#include <string>

bool SetAgentAtStartup(bool add, bool allUsers, bool withDefaultUser)
{
    ConfigDocument cfg;
    if (!LoadModuleGeneral(cfg))
        return false;
    const std::string name = CUtil::GetProductUniqueName(&cfg);
    const bool multiUser = IsMultiUser(&cfg);

    std::string data;
    if (add) {
        const std::string path = AgentPath(cfg);
        if (!AgentExists(path))
            return false;
        FormatString(data, "\"%s\" %s", path.c_str(), kStartupArgument);
    }

    try {
        if (multiUser && allUsers) {
            // Per-user failures are silent: a hive without the value, or one that
            // cannot be loaded, is not an error here.
            const DWORD options = withDefaultUser ? PU_INCLUDE_DEFAULT_USER : 0;
            if (add)
                WriteStringToAllUsers(kRunKey, name.c_str(), data.c_str(), options);
            else  // a null text given to WriteStringToAllUsers would write an empty value
                DeleteValueFromAllUsers(kRunKey, name.c_str(), withDefaultUser);
            return true;
        }
        const CVRegKey& root = multiUser ? CVRegKey::CurrentUser : CVRegKey::LocalMachine;
        const CVRegKey run = root.Open(kRunKey, KEY_SET_VALUE);
        if (add)
            run.SetString(name.c_str(), data.c_str());
        else
            run.DeleteValue(name.c_str());
        return true;
    } catch (const CVException&) {
        return false;
    }
}

KSINST_EXPORT(LONG) KSWAgentAtStartup(LONG add, LONG allUsers, LONG withDefaultUser)
{
    try {
        return SetAgentAtStartup(add != 0, allUsers != 0, withDefaultUser != 0) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}
