// The bridge's path rules. "/dev/mem" is the box's physical memory: on the
// host a (sparse) file named by VBOX_MEM stands for it, so mmap of it works
// natively. Served device nodes join this table as the bridge grows.
#include "paths.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>

namespace {

struct PathRule {
    const char* path;  // exact path the program opens
    const char* env;   // environment variable naming the host file
};

const PathRule kRules[] = {
    {"/dev/mem", "VBOX_MEM"},
};

}  // namespace

BridgeTarget bridge_lookup(const char* path) {
    if (path) {
        for (const PathRule& r : kRules) {
            if (strcmp(path, r.path) != 0) continue;
            const char* file = getenv(r.env);
            // Never fall through to the host's own device.
            if (!file || !*file) return BridgeTarget{nullptr, ENOENT, true};
            return BridgeTarget{file, 0, true};
        }
    }
    return BridgeTarget{path, 0, false};
}
