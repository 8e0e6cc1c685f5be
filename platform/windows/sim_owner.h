// Ownership of what the simulated machine makes on Windows: new files and
// folders are given the user's own SID as owner (an elevated process would
// otherwise give them to the Administrators group), and the owner of an open
// file is read back as SID text, the form of host::user_tag().
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace tb::sim {

class OwnedByUser {
  public:
    OwnedByUser();
    OwnedByUser(const OwnedByUser&) = delete;
    OwnedByUser& operator=(const OwnedByUser&) = delete;
    // The attributes to create with; nullptr (the system's defaults) when
    // the user's SID cannot be read.
    SECURITY_ATTRIBUTES* attributes() { return ready_ ? &attributes_ : nullptr; }

  private:
    std::vector<unsigned char> token_user_;
    SECURITY_DESCRIPTOR descriptor_{};
    SECURITY_ATTRIBUTES attributes_{};
    bool ready_ = false;
};

// The owner of the file or folder open as `handle` (opened with
// READ_CONTROL) as SID text; false with the reason in `why`.
bool owner_sid_text(HANDLE handle, std::string& out, std::string* why);

}  // namespace tb::sim
