# The libraries the module links in, so that it ships as one file: SQLite (the store of what runs
# keep) and expat (a conforming XML reader). The module keeps its own private copy of each, every
# symbol of which stays inside the module file.
#   Quillmere::SQLite   Linux: Debian's libsqlite3.a (libsqlite3-dev)
#   Quillmere::Expat    Linux: Debian's libexpat.a (libexpat1-dev)
# The Windows cross-build compiles both from Debian's source packages (cmake/WindowsDependencies.cmake).
include_guard(GLOBAL)

if(NOT WIN32)
    find_path(QM_SQLITE_INCLUDE_DIR sqlite3.h REQUIRED)
    find_library(QM_SQLITE_STATIC libsqlite3.a REQUIRED)
    add_library(Quillmere::SQLite STATIC IMPORTED GLOBAL)
    set_target_properties(Quillmere::SQLite PROPERTIES
        IMPORTED_LOCATION ${QM_SQLITE_STATIC}
        INTERFACE_INCLUDE_DIRECTORIES ${QM_SQLITE_INCLUDE_DIR}
        INTERFACE_LINK_LIBRARIES "m;${CMAKE_DL_LIBS}")

    find_path(QM_EXPAT_INCLUDE_DIR expat.h REQUIRED)
    find_library(QM_EXPAT_STATIC libexpat.a REQUIRED)
    add_library(Quillmere::Expat STATIC IMPORTED GLOBAL)
    set_target_properties(Quillmere::Expat PROPERTIES
        IMPORTED_LOCATION ${QM_EXPAT_STATIC}
        INTERFACE_INCLUDE_DIRECTORIES ${QM_EXPAT_INCLUDE_DIR})
endif()
