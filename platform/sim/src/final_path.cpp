// The real location of a path on the simulated disks: the node it names, links followed (a link
// at the end as well, like the file system's own answer for an opened folder), spelt as created.
#include "fs_store.h"

#include "../../os/final_path.h"

#include <cstring>

bool ResolveFinalPath(const char* path, char* out, size_t size) {
    simcore::Guard guard(simcore::MachineLock());
    if (!path || !out || size == 0)
        return false;
    simfs::Node* node = simfs::Follow(simfs::Find(path));
    if (!node)
        return false;
    std::string real = simfs::PathOf(node);
    if (real.size() + 1 > size)
        return false;
    memcpy(out, real.c_str(), real.size() + 1);
    return true;
}
