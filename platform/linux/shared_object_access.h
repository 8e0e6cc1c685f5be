// Who may use the objects the instances share.
//
// By default the objects belong to the user who runs the instances: they are
// created readable and writable by their owner only (0600), and an object of
// another user is refused. Instances of several users work together when the
// environment variable TAMBLOR_IPC_GROUP names a group (by name or number)
// that all of them belong to: the objects are then created for that group as
// well (0660), and an object of another user is used when it belongs to that
// group and is open to nobody else.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

namespace tb {

struct SharedObjectAccess {
    std::string problem;  // non-empty: the setting cannot be followed
    bool for_group = false;
    gid_t group = 0;
    mode_t mode = 0600;
};

// The access the setting asks for (read at every call).
SharedObjectAccess shared_object_access();

// Gives a newly created object its mode and group; false with `problem` set
// when that is not possible.
bool prepare_new_object(int fd, const SharedObjectAccess& access, std::string& problem);

// Whether an existing object may be used; otherwise `problem` tells why.
// An object of this user with looser permissions is tightened.
bool admit_existing_object(int fd, const SharedObjectAccess& access, std::string_view label, std::string& problem);

// Why this user cannot open the object at `path` (called after an open was
// refused for lack of permission).
std::string refused_object_problem(const std::string& path, std::string_view label);

}  // namespace tb
