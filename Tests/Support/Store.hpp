// A look inside the add-on's store of kept values, as a user would take it with the sqlite3 shell.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace Support {

// The rows `sql` gives on the store at `path`, each row's columns joined by "|" (NULL as "NULL");
// none when there is no store. The store is opened read-only and closed before this returns.
std::vector<std::string> StoreRows(const std::filesystem::path& path, const std::string& sql);

// How many values and expression lists the store keeps, for all projects.
std::size_t KeptValueCount(const std::filesystem::path& path);
std::size_t KeptListCount(const std::filesystem::path& path);

}  // namespace Support
