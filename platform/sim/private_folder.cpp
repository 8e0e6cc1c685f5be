#include "platform/sim/private_folder.h"

#include "platform/sim/owner_check.h"
#include "platform/sim/host_path.h"

namespace tb::sim {

namespace {

void fail(std::string* error, const std::string& text) {
    if (error) *error = text;
}

// Who may use the folder that was opened.
bool acceptable(const HostFileFacts& f, const std::string& shown, std::string* error) {
    if (f.kind != HostNodeKind::Folder) {
        fail(error, "the folder " + shown + " cannot be opened: it is not a folder");
        return false;
    }
    std::string user;
    if (!owned_by_user(f, user)) {
        fail(error, "the folder " + shown + " is owned by user " + f.owner + ", not by user " + user +
                        "; remove it or choose another folder");
        return false;
    }
    if (!f.private_to_owner) {
        fail(error, "the folder " + shown + " has mode " + f.access + "; it must be private to its owner (0700)");
        return false;
    }
    return true;
}

// Opens `name` below `in` as a folder without following a link there,
// creating it first when missing, and checks who may use it.
bool open_checked(const HostFolder* in, const std::string& name, const std::string& shown, HostFolder& out,
                  std::string* error) {
    std::string why;
    switch (open_private_folder(in, name, out, &why)) {
        case OpenStatus::Opened: break;
        case OpenStatus::CannotCreate: fail(error, "cannot create the folder " + shown + ": " + why); return false;
        case OpenStatus::Link: fail(error, "the folder " + shown + " is a symbolic link"); return false;
        default: fail(error, "the folder " + shown + " cannot be opened: " + why); return false;
    }
    HostFileFacts facts;
    if (!out.handle.facts(facts, &why)) {
        fail(error, "cannot look at the folder " + shown + ": " + why);
        return false;
    }
    return acceptable(facts, shown, error);
}

bool is_root(const std::string& path) {
    return path.empty() || (path.size() == 1 && is_path_separator(path[0])) ||
           host_path(path) == host_path(path).root_path();
}

}  // namespace

std::unique_ptr<PrivateFolder> PrivateFolder::open(const std::string& path_in, std::string* error) {
    std::string path = path_in;
    while (path.size() > 1 && is_path_separator(path.back())) path.pop_back();
    if (is_root(path)) {
        fail(error, "no folder for the simulated machine's files");
        return nullptr;
    }
    std::string why;
    if (!make_parent_folders(path, &why)) {
        fail(error, "cannot create the folders above " + path + ": " + why);
        return nullptr;
    }
    HostFolder folder;
    if (!open_checked(nullptr, path, path, folder, error)) return nullptr;
    return std::unique_ptr<PrivateFolder>(new PrivateFolder(std::move(folder)));
}

bool PrivateFolder::ensure_subfolder(const std::string& name, std::string* error) const {
    HostFolder sub;
    return open_checked(&folder_, name, path_of(name), sub, error);
}

}  // namespace tb::sim
