// Which paths the bridge serves, and what stands for them on the host.
#pragma once

// The outcome of looking a path up in the rules.
struct BridgeTarget {
    const char* path;  // what to open instead; null: refuse with err
    int err;
    bool redirected;   // false: the path is not ours, open it as it is
};

// Looks up a path a program of the box opens. Only exact names match.
BridgeTarget bridge_lookup(const char* path);
