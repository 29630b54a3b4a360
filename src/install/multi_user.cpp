#include "install/multi_user.h"

#include "config/config_document.h"
#include "config/util.h"

namespace {

// 0 and 1 once read; -1 until the first call.
int g_multiUser = -1;

}  // namespace

bool IsMultiUser(const ConfigSection* cfg)
{
    if (g_multiUser < 0) {
        ConfigDocument loaded;
        if (!cfg) {
            // A product configuration that cannot be read gives the default.
            loaded.Load(CUtil::GetCfgPath(false, nullptr).c_str(), "General", LoadMode::ValuesOnly, 0, false);
            cfg = &loaded;
        }
        const SharedRef<ConfigSection> general = cfg->GetSection("General");
        g_multiUser = (general ? general->GetInt("MultiUser", 1) : 1) != 0 ? 1 : 0;
    }
    return g_multiUser != 0;
}
