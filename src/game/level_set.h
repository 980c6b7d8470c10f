// Level sets: a folder of the twenty level files lev1.lev .. lev20.lev in the game's exact form,
// with its own record file rec.kbx. Named sets live in the player's data folder
// (<data home>/kobaltix/sets/NAME/); any other folder is given by its path.
#pragma once

#include <string>

namespace game {

// True when `arg` gives a folder by its path (it holds a '/'), false when it is a set's name.
bool IsSetPath(const std::string& arg);
// True for a usable set name: not empty, no '/' or '\\', not "." or "..", no control characters.
bool ValidSetName(const std::string& name);
// The folder of the named set: <player's data folder>/sets/NAME (see PlayerDataDir); "" when the
// player has no data folder.
std::string NamedSetFolder(const std::string& name);
// The set's folder for a command-line argument: a path as given, or the named set's folder.
std::string SetFolderFor(const std::string& arg);

// True when `folder` holds at least one level file of a set.
bool HoldsLevelSet(const std::string& folder);
// Makes `folder` a set on first use: when it holds no level file yet, creates it (and its
// parents) and copies the twenty files of `shippedLevels` into it (a missing shipped file is
// skipped). A folder that already holds a set is left as it is. False with the system's reason in
// `error` when the folder or a file cannot be made. (The set's rec.kbx is made when the set is
// first played, from the shipped table.)
bool EnsureLevelSet(const std::string& folder, const std::string& shippedLevels,
                    std::string& error);

}  // namespace game
