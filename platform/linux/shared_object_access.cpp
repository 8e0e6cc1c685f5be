#include "platform/linux/shared_object_access.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/format.h"

namespace tb {

namespace {

constexpr const char* kGroupVariable = "TAMBLOR_IPC_GROUP";

bool resolve_group(const std::string& text, gid_t& out) {
    std::vector<char> buf(16384);
    group entry {};
    group* found = nullptr;
    if (::getgrnam_r(text.c_str(), &entry, buf.data(), buf.size(), &found) == 0 && found) {
        out = found->gr_gid;
        return true;
    }
    char* end = nullptr;
    errno = 0;
    const unsigned long n = std::strtoul(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0') return false;
    out = static_cast<gid_t>(n);
    return true;
}

std::string another_user(std::string_view label, uid_t owner) {
    return fmt("%s belongs to another user (uid %u)", std::string(label), static_cast<unsigned>(owner));
}

}  // namespace

SharedObjectAccess shared_object_access() {
    SharedObjectAccess a;
    const char* setting = std::getenv(kGroupVariable);
    if (!setting || !*setting) return a;
    if (!resolve_group(setting, a.group)) {
        a.problem = fmt("%s names no group: %s", kGroupVariable, setting);
        return a;
    }
    a.for_group = true;
    a.mode = 0660;
    return a;
}

bool prepare_new_object(int fd, const SharedObjectAccess& access, std::string& problem) {
    if (access.for_group && ::fchown(fd, static_cast<uid_t>(-1), access.group) != 0) {
        problem = fmt("cannot give the shared objects to group %u (%s)", static_cast<unsigned>(access.group),
                      std::strerror(errno));
        return false;
    }
    // Whatever the umask left of the mode.
    if (::fchmod(fd, access.mode) != 0) {
        problem = fmt("cannot set the mode of a shared object (%s)", std::strerror(errno));
        return false;
    }
    return true;
}

bool admit_existing_object(int fd, const SharedObjectAccess& access, std::string_view label, std::string& problem) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        problem = fmt("%s cannot be examined (%s)", std::string(label), std::strerror(errno));
        return false;
    }
    const mode_t perms = st.st_mode & 07777;
    if (st.st_uid == ::geteuid()) {
        if (access.for_group && st.st_gid != access.group && !prepare_new_object(fd, access, problem)) return false;
        if (perms != access.mode && ::fchmod(fd, access.mode) != 0) {
            char mode_text[8];
            std::snprintf(mode_text, sizeof mode_text, "%04o", static_cast<unsigned>(perms));
            problem = fmt("%s has mode %s and cannot be restricted (%s)", std::string(label), mode_text,
                          std::strerror(errno));
            return false;
        }
        return true;
    }
    if (access.for_group && st.st_gid == access.group && (perms & 0007) == 0) return true;
    problem = another_user(label, st.st_uid);
    return false;
}

std::string refused_object_problem(const std::string& path, std::string_view label) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && st.st_uid != ::geteuid()) return another_user(label, st.st_uid);
    return fmt("%s cannot be opened (permission denied)", std::string(label));
}

}  // namespace tb
