// The folder side of the removal: a tree delete, the upward removal of emptied folders down to their
// base, and the product's application-data folder in every user profile. Every target passes the path
// guard; refusals and failures on existing targets go to the removal log.
#pragma once

#include <string>
#include <string_view>

#include "SetupConfig.h"

namespace uninstall {

// Folder paths of the tree delete (with their NUL) and of the upward removal and the profile targets.
inline constexpr size_t kFolderTreeCapacity = 1024;
inline constexpr size_t kProfilePathCapacity = 512;

// Deletes the folder with everything in it, read-only files and folders included; a link or junction
// inside it goes as a link and its target stays. A path naming a file deletes that file. 2 when the path
// does not exist, else 0 (whatever could be deleted is gone).
int DeleteFolderTree(std::u16string_view path);

// Removes `path` when it is an empty folder, then each folder above it that is then empty, up to but not
// including `base` (which must hold `path`); a folder that is not empty stays while the walk goes on
// above it. 3 for an empty path, else 0; a bare drive, a path without a colon or one outside `base` is
// left alone.
int RemoveEmptyFolders(std::u16string_view path, std::u16string_view base);

// Deletes the product folder (a path part with its own leading backslash) below `base` with everything
// in it, then the folders it leaves empty up to `base`. Nothing for an empty base or folder, nor for a
// join the guard refuses or that does not fit `capacity` characters (written to the removal log under
// `operation`).
void DeleteProductFolderBelow(std::u16string_view base, std::u16string_view productFolder, std::u16string_view operation,
                              size_t capacity = kFolderTreeCapacity);

// Deletes the product's folder below the application-data folder of every user profile the profile
// list names (the service accounts' profiles excepted), and the folders it leaves empty below that
// application-data folder. 3 when the profile list cannot be opened, else 0.
int DeleteUserProfileFolders(const SetupConfig& config = setupConfig());

}  // namespace uninstall
