// A fresh folder under the system's temporary folder, removed with everything in it at the end.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

class TempFolder {
public:
    TempFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "quillmere-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            ADD_FAILURE() << "cannot create a temporary folder";
        path = pattern;
    }
    ~TempFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // Creates the file `name` (UTF-8) in the folder and returns its full path.
    std::string CreateFile(const std::string& name) const
    {
        const std::string file = path + "/" + name;
        std::ofstream(file) << "<xml/>";
        return file;
    }
    // The full path of `name` in the folder, without creating it.
    std::string PathOf(const std::string& name) const { return path + "/" + name; }
    const std::string& Get() const { return path; }

private:
    std::string path;
};
