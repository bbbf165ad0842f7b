// A look inside the add-on's store of kept values, as a user would take it with the sqlite3 shell.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace Support {

// The rows `sql` gives on the store at `path`, each row's columns joined by "|" (NULL as "NULL");
// none when there is no store. The store is opened read-only and closed before this returns.
std::vector<std::string> StoreRows(const std::filesystem::path& path, const std::string& sql);

// Every value the store keeps, unpacked from its rows (one per element, run and group), as
// "project|element|group|property|run|reason|value type|text", sorted. Throws when a row is not
// in the store's packed form or its count does not match its values.
std::vector<std::string> KeptValues(const std::filesystem::path& path);

// The eight columns of one of KeptValues' texts (the value's text, last, may hold "|").
std::vector<std::string> KeptValueColumns(const std::string& value);

// One value as a row of kept values packs it: each field as LENGTH:BYTES.
std::string PackedValue(const std::string& property, int valueType, const std::string& reason, const std::string& text);

// How many values and expression lists the store keeps, for all projects.
std::size_t KeptValueCount(const std::filesystem::path& path);
std::size_t KeptListCount(const std::filesystem::path& path);

}  // namespace Support
