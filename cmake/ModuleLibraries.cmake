# The libraries the module links in, so that it ships as one file: SQLite (the store of what runs
# keep) and expat (a conforming XML reader). The module keeps its own private copy of each, every
# symbol of which stays inside the module file.
#   Quillmere::SQLite   Linux: Debian's libsqlite3.a (libsqlite3-dev)
#   Quillmere::Expat    Linux: Debian's libexpat.a (libexpat1-dev)
#   both on Windows: compiled with the mingw-w64 toolchain from Debian's source packages, which
#   Tools/install-deps.sh fetches into build/third_party: SQLite's amalgamation (sqlite3.c, made from
#   Debian's sqlite3 source) in build/third_party/sqlite3, expat's library in build/third_party/expat.
# The module needs them on Windows as well, so they are here and not with the test host's Windows
# dependencies (cmake/WindowsDependencies.cmake).
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

if(WIN32)
    set(QUILLMERE_SQLITE_SOURCE_DIR ${PROJECT_SOURCE_DIR}/build/third_party/sqlite3
        CACHE PATH "SQLite's amalgamation (sqlite3.c, sqlite3.h) for the Windows build")
    set(QUILLMERE_EXPAT_SOURCE_DIR ${PROJECT_SOURCE_DIR}/build/third_party/expat
        CACHE PATH "expat's library folder (lib/) for the Windows build")
    foreach(file ${QUILLMERE_SQLITE_SOURCE_DIR}/sqlite3.c ${QUILLMERE_EXPAT_SOURCE_DIR}/lib/xmlparse.c)
        if(NOT EXISTS ${file})
            message(FATAL_ERROR "${file} is missing; Tools/install-deps.sh fetches Debian's source packages "
                                "and makes it")
        endif()
    endforeach()

    # SQLite, used only by the module's own code inside the DLL, which shares the host's process:
    #   SQLITE_OMIT_LOAD_EXTENSION  no SQL or call can load another DLL into the host's process;
    #   SQLITE_DQS=0                a double-quoted word is always a name, never a string: a
    #                               misspelt column name fails instead of becoming a text value;
    #   SQLITE_THREADSAFE=1         (the default) serialized: whichever thread the host runs the
    #                               command on, with Windows' own critical sections as the mutex;
    #   SQLITE_DEFAULT_MEMSTATUS=0  no memory statistics, which the module never reads, and so no
    #                               global lock taken around every allocation;
    #   SQLITE_WIN32_NO_ANSI        only Windows' UTF-16 file calls: a path is never narrowed to the
    #                               ANSI code page, where a folder named in Chinese or Greek is lost;
    #   SQLITE_OMIT_SHARED_CACHE, SQLITE_OMIT_DEPRECATED  features the module does not use, which
    #                               SQLite's own advice leaves out of such builds.
    # Its symbols stay inside the DLL: the DLL exports only what is marked for export.
    add_library(quillmere_sqlite STATIC ${QUILLMERE_SQLITE_SOURCE_DIR}/sqlite3.c)
    target_include_directories(quillmere_sqlite SYSTEM PUBLIC ${QUILLMERE_SQLITE_SOURCE_DIR})
    target_compile_definitions(quillmere_sqlite PRIVATE
        SQLITE_OMIT_LOAD_EXTENSION SQLITE_DQS=0 SQLITE_THREADSAFE=1 SQLITE_DEFAULT_MEMSTATUS=0
        SQLITE_WIN32_NO_ANSI SQLITE_OMIT_SHARED_CACHE SQLITE_OMIT_DEPRECATED)
    # Its warnings are not ours to fix.
    target_compile_options(quillmere_sqlite PRIVATE -w)
    add_library(Quillmere::SQLite ALIAS quillmere_sqlite)

    # expat: its three C files (xmltok.c includes the tokenizer's other two) and a configuration
    # header with the values that Debian's own build (autoconf, expat's defaults) gives its Linux
    # library: UTF-8 names and text (no XML_UNICODE), namespaces and DTDs (XML_NS, XML_DTD, the
    # latter with the guard against entities that expand without bound), 1024 bytes of parse context,
    # little-endian (x86-64). Each is defined as 1, as autoconf writes it: Debian's patches test
    # "XML_DTD == 1", which the header from expat's CMake template (a bare #define) would fail.
    # The hash salt comes from rand_s, the library's Windows path, which needs no option
    # (XML_DEV_URANDOM is for other systems; XML_POOR_ENTROPY is not needed). The header's other
    # entries (HAVE_...) serve only other systems' sources of entropy and are left out. XML_STATIC:
    # linked in, neither imported from nor exported by a DLL.
    file(STRINGS ${QUILLMERE_EXPAT_SOURCE_DIR}/lib/expat.h QM_EXPAT_VERSION
        REGEX "^#define XML_(MAJOR|MINOR|MICRO)_VERSION [0-9]+$")
    list(TRANSFORM QM_EXPAT_VERSION REPLACE "^.* " "")
    list(JOIN QM_EXPAT_VERSION . QM_EXPAT_VERSION)
    file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/expat/expat_config.h CONTENT [[
/* expat's configuration in Quillmere's Windows build (cmake/ModuleLibraries.cmake). */
#ifndef EXPAT_CONFIG_H
#define EXPAT_CONFIG_H 1
#define BYTEORDER 1234
#define XML_CONTEXT_BYTES 1024
#define XML_DTD 1
#define XML_NS 1
#define PACKAGE "expat"
#define PACKAGE_NAME "expat"
#define PACKAGE_TARNAME "expat"
#define PACKAGE_VERSION "@QM_EXPAT_VERSION@"
#define PACKAGE_STRING "expat @QM_EXPAT_VERSION@"
#define PACKAGE_BUGREPORT "expat-bugs@libexpat.org"
#define PACKAGE_URL ""
#endif
]] @ONLY)
    add_library(quillmere_expat STATIC
        ${QUILLMERE_EXPAT_SOURCE_DIR}/lib/xmlparse.c
        ${QUILLMERE_EXPAT_SOURCE_DIR}/lib/xmlrole.c
        ${QUILLMERE_EXPAT_SOURCE_DIR}/lib/xmltok.c)
    target_include_directories(quillmere_expat SYSTEM PUBLIC ${QUILLMERE_EXPAT_SOURCE_DIR}/lib)
    target_include_directories(quillmere_expat PRIVATE ${PROJECT_BINARY_DIR}/expat)
    target_compile_definitions(quillmere_expat PUBLIC XML_STATIC)
    target_compile_options(quillmere_expat PRIVATE -w)
    add_library(Quillmere::Expat ALIAS quillmere_expat)
endif()
