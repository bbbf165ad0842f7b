# The module's resources as an object library, quillmere_module_resources, that a module target
# links: on Windows the compiled PE resources with the version resource, on Linux an object whose
# section "qm_resources" holds the resource blob. Both are generated from ModuleResources.txt by
# MakeResources.py.
include_guard(GLOBAL)

find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(QM_RESOURCES_SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR})
set(QM_RESOURCES_BINARY_DIR ${PROJECT_BINARY_DIR}/Resources)
# The icon images that ModuleResources.txt names.
set(QM_RESOURCE_ICONS
    ${QM_RESOURCES_SOURCE_DIR}/Icons/MenuIcon_18.png
    ${QM_RESOURCES_SOURCE_DIR}/Icons/MenuIcon_36.png
    ${QM_RESOURCES_SOURCE_DIR}/Icons/ModuleIcon_128.png
    ${QM_RESOURCES_SOURCE_DIR}/Icons/ModuleIcon_16.png
    ${QM_RESOURCES_SOURCE_DIR}/Icons/ModuleIcon_256.png
    ${QM_RESOURCES_SOURCE_DIR}/Icons/ModuleIcon_32.png
    ${QM_RESOURCES_SOURCE_DIR}/Icons/ModuleIcon_48.png
    ${QM_RESOURCES_SOURCE_DIR}/Icons/ModuleIcon_64.png
    ${QM_RESOURCES_SOURCE_DIR}/Icons/ModuleIcon_96.png)
set(QM_RESOURCE_INPUTS
    ${QM_RESOURCES_SOURCE_DIR}/ModuleResources.txt
    ${QM_RESOURCES_SOURCE_DIR}/MakeResources.py
    ${QM_RESOURCE_ICONS})

if(WIN32)
    enable_language(RC)
    set(QM_RESOURCE_SCRIPT ${QM_RESOURCES_BINARY_DIR}/Quillmere.rc)
    # The version resource carries the project's version. This file changes only when the version
    # does, so that the script is made again then.
    set(QM_RESOURCE_VERSION_STAMP ${QM_RESOURCES_BINARY_DIR}/ProjectVersion.txt)
    file(CONFIGURE OUTPUT ${QM_RESOURCE_VERSION_STAMP} CONTENT "${PROJECT_VERSION}\n")
    add_custom_command(
        OUTPUT ${QM_RESOURCE_SCRIPT}
        COMMAND Python3::Interpreter ${QM_RESOURCES_SOURCE_DIR}/MakeResources.py
                ${QM_RESOURCES_SOURCE_DIR}/ModuleResources.txt --windows ${QM_RESOURCE_SCRIPT}
                --version ${PROJECT_VERSION}
        DEPENDS ${QM_RESOURCE_INPUTS} ${QM_RESOURCE_VERSION_STAMP}
        COMMENT "Generating the module's PE resources"
        VERBATIM)
    add_library(quillmere_module_resources OBJECT ${QM_RESOURCE_SCRIPT})
    # The script names its binary inputs without a folder; windres finds them through -I.
    target_include_directories(quillmere_module_resources PRIVATE ${QM_RESOURCES_BINARY_DIR})
    # The script names the binary inputs written next to it; they change with it.
    set_source_files_properties(${QM_RESOURCE_SCRIPT} PROPERTIES OBJECT_DEPENDS "${QM_RESOURCE_INPUTS}")
else()
    set(QM_RESOURCE_BLOB ${QM_RESOURCES_BINARY_DIR}/QuillmereResources.bin)
    add_custom_command(
        OUTPUT ${QM_RESOURCE_BLOB}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${QM_RESOURCES_BINARY_DIR}
        COMMAND Python3::Interpreter ${QM_RESOURCES_SOURCE_DIR}/MakeResources.py
                ${QM_RESOURCES_SOURCE_DIR}/ModuleResources.txt --posix ${QM_RESOURCE_BLOB}
        DEPENDS ${QM_RESOURCE_INPUTS}
        COMMENT "Generating the module's resource section"
        VERBATIM)
    add_custom_target(quillmere_module_resource_blob DEPENDS ${QM_RESOURCE_BLOB})
    add_library(quillmere_module_resources OBJECT ${QM_RESOURCES_SOURCE_DIR}/EmbeddedResources.cpp)
    add_dependencies(quillmere_module_resources quillmere_module_resource_blob)
    target_compile_definitions(quillmere_module_resources PRIVATE "QM_RESOURCE_BLOB=\"${QM_RESOURCE_BLOB}\"")
    set_source_files_properties(${QM_RESOURCES_SOURCE_DIR}/EmbeddedResources.cpp
        PROPERTIES OBJECT_DEPENDS ${QM_RESOURCE_BLOB})
endif()
