// Path helpers of the POSIX dialog: UTF-16 paths as the dialog record carries them, checked in
// UTF-8 against the file system. Internal to the platform library.
#pragma once

#include <string>
#include <sys/stat.h>

#include "../GSRoot/UnicodeCodec.hpp"

namespace QmFilePath {

// The UTF-8 form of `count` UTF-16 units; a lone surrogate becomes U+FFFD.
inline std::string ConvertToUtf8(const char16_t* units, std::size_t count)
{
    return GS::Unicode::ConvertUtf16ToUtf8(units, count);
}

// The UTF-16 form of UTF-8 `text`; a byte outside any valid sequence becomes U+FFFD.
inline std::u16string ConvertToUtf16(const std::string& text)
{
    return GS::Unicode::ConvertUtf8ToUtf16(text.data(), text.size());
}

// True when `path` names something that exists and is not a folder, a named pipe or a device too,
// as the Windows dialog takes them. stat looks without opening, so nothing waits on a pipe; the
// reader of the chosen file refuses what is no regular file.
inline bool IsExistingFile(const std::string& path)
{
    struct stat status;
    return !path.empty() && ::stat(path.c_str(), &status) == 0 && !S_ISDIR(status.st_mode);
}

// True when the folder that holds `path` exists ("." for a bare name, "/" for a top-level one).
inline bool IsExistingFolderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    struct stat status;
    return ::stat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

}  // namespace QmFilePath
