// The benchmark's project: N walls, each holding M owned values (groups "SGPset_Group01", ... of ten
// properties each, the value types in turn) and one value of a standard group that the module must
// leave alone. The configuration text that imports the same groups again comes with it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "Project.hpp"

namespace Bench {

// The configuration: one classification item "IfcWall", M owned properties that apply to it and
// the standard property "Pset_WallCommon"/"Reference".
std::string MakeConfiguration(std::size_t ownedValues);

// Builds the project of `elements` walls from `configuration` (made for `ownedValues`), every
// owned property and the standard one holding a value on every wall.
TestHost::Project MakeProject(const std::string& configuration, std::size_t elements, std::size_t ownedValues);

// One saved value as the backup file holds it: which key (an index into BackupContent::keys) and
// the value as the project holds it.
struct SavedValue {
    std::size_t key = 0;
    TestHost::Value value;
};

// What the backup file of a project holds, in the file's order: per element its GUID and its
// owned values, in the host's order of the definitions. Elements without owned values are left out.
struct BackupContent {
    struct Key {
        std::string name;  // group name, "-", property name
        Int32 valueType = 0;
        Int32 measureType = 0;
    };
    struct Entry {
        API_Guid element;
        std::vector<SavedValue> values;
    };
    std::vector<Key> keys;
    std::vector<Entry> entries;
    std::size_t valueCount = 0;
};

// Reads the owned values of `project` as the module's backup must find them.
BackupContent CollectBackupContent(const TestHost::Project& project);

}  // namespace Bench
