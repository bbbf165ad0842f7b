# Libraries that the Windows test host and its tests need and that Debian ships for Linux only,
# compiled for Windows as part of the cross-build: pugixml from Debian's source package (fetched
# by Tools/install-deps.sh into build/third_party/pugixml) and GoogleTest from Debian's googletest
# sources. Both link statically, so no DLL of theirs is needed next to the programs.
include_guard(GLOBAL)

set(QUILLMERE_PUGIXML_SOURCE_DIR ${PROJECT_SOURCE_DIR}/build/third_party/pugixml
    CACHE PATH "Unpacked pugixml source for the Windows build")
if(NOT EXISTS ${QUILLMERE_PUGIXML_SOURCE_DIR}/src/pugixml.cpp)
    message(FATAL_ERROR "pugixml's source is not in ${QUILLMERE_PUGIXML_SOURCE_DIR}; "
                        "Tools/install-deps.sh fetches Debian's source package there")
endif()
add_library(pugixml STATIC ${QUILLMERE_PUGIXML_SOURCE_DIR}/src/pugixml.cpp)
add_library(pugixml::pugixml ALIAS pugixml)
target_include_directories(pugixml SYSTEM PUBLIC ${QUILLMERE_PUGIXML_SOURCE_DIR}/src)
# Its warnings are not ours to fix.
target_compile_options(pugixml PRIVATE -w)
# find_package(pugixml) looks here before anywhere else and finds the target above.
file(WRITE ${CMAKE_FIND_PACKAGE_REDIRECTS_DIR}/pugixml-config.cmake
    "# pugixml::pugixml is built by the Windows cross-build itself.\n")

set(QUILLMERE_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest source for the Windows build")
if(NOT EXISTS ${QUILLMERE_GOOGLETEST_SOURCE_DIR}/CMakeLists.txt)
    message(FATAL_ERROR "GoogleTest's source is not in ${QUILLMERE_GOOGLETEST_SOURCE_DIR} (Debian package googletest)")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
# GoogleTest uses Windows threads on Windows; its pthread probe would find the toolchain's.
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
add_subdirectory(${QUILLMERE_GOOGLETEST_SOURCE_DIR} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
# It names its targets GTest::gtest, GTest::gmock and so on, as the installed package does.
foreach(library gtest gtest_main gmock gmock_main)
    target_compile_options(${library} PRIVATE -w)
endforeach()
