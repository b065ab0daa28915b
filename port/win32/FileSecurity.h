// What the Windows file calls of the port layer share: the errno value for a
// file error, the user's SID, access lists that keep a file to its user, and
// which of the groups every user of the machine is in an access list lets in.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace kestrun {

// The errno value for a Windows error of a file call.
int ErrnoForFileError(DWORD error);

// The SID of the user this process runs as (empty when the token cannot be read).
std::vector<unsigned char> UserSid();

// "S-1-5-21-...", as a message names an owner.
std::string SidText(PSID sid);

// Whether a reparse point of this tag is a link (a symbolic link or a
// junction), which the file layer treats as Linux treats a symbolic link.
// Other tags (OneDrive's placeholders, deduplicated files) are plain files.
bool IsLinkReparseTag(DWORD tag);

// Gives the file or folder open as `handle` (with WRITE_DAC) an access list
// that lets in its user alone, inherited by nothing above it; a folder's
// list is passed on to what is made in it. A file system without access
// lists (FAT on a USB stick) is left as it is. 0 or the errno value.
int KeepToUser(HANDLE handle, bool folder);

// The first of Everyone, Authenticated Users and Users that `dacl` (null: no
// list, which lets everyone in) grants any of `rights`, in its own words;
// null when none is granted them.
const char* SharedGroupGranted(const ACL* dacl, bool nullDacl, ACCESS_MASK rights);

}  // namespace kestrun
