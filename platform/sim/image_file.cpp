#include "platform/sim/image_file.h"

#include "platform/sim/owner_check.h"

namespace tb::sim {

namespace {

HostFile refuse(std::string* error, const std::string& text) {
    if (error) *error = text;
    return {};
}

// The checks on a file that was already there.
bool acceptable(const HostFileFacts& f, const std::string& shown, std::string* error) {
    auto no = [&](const std::string& text) {
        if (error) *error = text;
        return false;
    };
    if (f.kind != HostNodeKind::Regular) return no(shown + " is not a regular file");
    std::string user;
    if (!owned_by_user(f, user)) return no(shown + " is owned by user " + f.owner + ", not by user " + user);
    if (f.links != 1) return no(shown + " has other hard links; the simulated machine uses it only alone");
    return true;
}

}  // namespace

HostFile open_image_file(const HostFolder* folder, const std::string& name, const std::string& shown, uint64_t size,
                         OtherSize other_size, std::string* error) {
    HostFile file;
    std::string why;
    OpenStatus status = create_private_file(folder, name, file, &why);
    const bool created = status == OpenStatus::Opened;
    if (status == OpenStatus::Exists) status = open_existing_file(folder, name, file, &why);
    if (status == OpenStatus::Link)
        return refuse(error, shown + " is a symbolic link; the simulated machine does not follow it");
    if (status != OpenStatus::Opened) return refuse(error, "cannot open " + shown + ": " + why);
    HostFileFacts facts;
    if (!file.facts(facts, &why)) return refuse(error, "cannot look at " + shown + ": " + why);
    if (!created && !acceptable(facts, shown, error)) return {};
    if (facts.size == size) return file;
    if (!created && other_size == OtherSize::Refuse)
        return refuse(error, shown + " holds " + std::to_string(facts.size) + " bytes but the disk needs " +
                                 std::to_string(size) + "; the simulated machine does not change the size of a file "
                                                        "it did not make (remove it or fix the capacity)");
    if (!file.set_size(size, &why)) {
        if (created) {
            file.reset();
            remove_folder_entry(folder, name);
        }
        return refuse(error, "cannot set the size of " + shown + ": " + why);
    }
    return file;
}

}  // namespace tb::sim
