// Controls of the simulated disks beyond plain files and folders: links, locks, removal log.
#include "files_state.h"

#include "sim/control_files.h"

namespace sim {

void AddJunction(const char* link, const char* target) {
    simcore::Guard guard(simcore::MachineLock());
    simfs::ParsedPath parsed = simfs::Parse(link);
    simfs::ParsedPath to = simfs::Parse(target);
    if (!parsed.valid || parsed.components.empty() || !to.valid)
        return;
    simfs::Node* parent = simfs::MakeFolders(parsed, parsed.components.size() - 1);
    if (simfs::Node* followed = simfs::Follow(parent))
        parent = followed;
    auto& slot = parent->children[parsed.components.back()];
    slot = std::make_unique<simfs::Node>();
    slot->name = parsed.components.back();
    slot->attributes = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    slot->linkTarget = simfs::Join(to, to.components.size());
    slot->parent = parent;
}

void LockFile(const char* path, bool locked) {
    simcore::Guard guard(simcore::MachineLock());
    if (simfs::Node* node = simfs::Find(path))
        node->locked = locked;
}

std::vector<std::string> DeletedPaths() {
    simcore::Guard guard(simcore::MachineLock());
    return simfs::RemovalLog();
}

} // namespace sim
