# The package people install from, made by cpack in the Windows build folder (cpack -G ZIP, or the
# "package" target): Quillmere-<version>-win64.zip with one folder holding Quillmere.dll and
# INSTALL.txt. Only the install component "addon" goes in: not the platform substitute, the test
# host, the tests or the DLL's symbol file.
include_guard(GLOBAL)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Quillmere)
set(CPACK_PACKAGE_VENDOR Quillmere)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Import IFC-SG Classifications and Properties (add-on)")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME Quillmere-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};Quillmere;addon;/")
include(CPack)
