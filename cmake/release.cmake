# The release: the list of what scripts/package ships, the checks on the programs in it, and the tests
# of the portable zip and the installer. Included by the Windows half of the build.

# The release ships the window program, its help file, and the command-line tool once that is built.
#
#   >>> The one place quillidar-notes.exe joins the release. <<<
#   As soon as a target of this name exists anywhere in the build, its program is shipped as
#   quillidar-notes.exe (in the zip and the installer), gets the release's VERSIONINFO and manifest,
#   has its DLL search restricted before main(), is held to KnownDLL imports and is run next to the
#   marker DLLs; scripts/package then fails when the build did not produce it.
set(QUILL_NOTES_TARGET quillidar-notes)

find_program(MAKENSIS makensis)
set(QUILL_RELEASE_DIR ${CMAKE_BINARY_DIR}/release)

# Marker DLLs and the program that shows they work: see tests/release/dll_marker.c.
add_library(quill_dll_marker SHARED tests/release/dll_marker.c)
set_target_properties(quill_dll_marker PROPERTIES PREFIX "" OUTPUT_NAME quill_dll_marker)
target_link_options(quill_dll_marker PRIVATE -static-libgcc)
quill_warnings(quill_dll_marker)
add_executable(quill_dll_probe tests/release/dll_probe.c)
target_link_options(quill_dll_probe PRIVATE -municode)
quill_warnings(quill_dll_probe)

# The driver of the release's end-to-end tests: the shipped programs' resources, DLL search, and the
# installer in fresh prefixes.
add_executable(quill_release_e2e tests/e2e/harness.cpp tests/release/release_helpers.cpp
                                 tests/release/programs_test.cpp tests/release/installer_test.cpp)
target_compile_definitions(quill_release_e2e PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
                                                     _WIN32_WINNT=0x0601 QUILL_TEST_DATA="${CMAKE_SOURCE_DIR}/tests/data")
target_include_directories(quill_release_e2e PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/src/res
                                                     ${CMAKE_SOURCE_DIR}/tests/e2e ${QUILL_GENERATED})
target_link_libraries(quill_release_e2e PRIVATE quill_core quill_driver GTest::gtest_main advapi32 version)
quill_warnings(quill_release_e2e)
add_dependencies(quill_release_e2e Quillidar quill_dll_marker quill_dll_probe)

# Names and version for the installer, taken by the preprocessor from version.h and identity.h.
add_custom_command(
  OUTPUT ${QUILL_RELEASE_DIR}/identity.nsh
  COMMAND ${CMAKE_C_COMPILER} -E -P -x c -I${CMAKE_SOURCE_DIR}/src/res -I${QUILL_GENERATED}
          ${CMAKE_SOURCE_DIR}/packaging/identity.nsh.in -o ${QUILL_RELEASE_DIR}/identity.nsh
  DEPENDS ${CMAKE_SOURCE_DIR}/packaging/identity.nsh.in ${CMAKE_SOURCE_DIR}/src/res/identity.h
          ${QUILL_GENERATED}/version.h
  COMMENT "Release identity for the installer")
add_custom_target(release_identity ALL DEPENDS ${QUILL_RELEASE_DIR}/identity.nsh)

# Resources are rebuilt when what they include changes (windres reports no dependencies).
set(QUILL_RESOURCE_INPUTS ${CMAKE_SOURCE_DIR}/src/res/identity.h ${CMAKE_SOURCE_DIR}/src/res/version_block.rc
                          ${CMAKE_SOURCE_DIR}/src/res/quillidar.manifest ${QUILL_GENERATED}/version.h)
set_source_files_properties(src/res/quillidar.rc PROPERTIES OBJECT_DEPENDS "${QUILL_RESOURCE_INPUTS}")

function(quill_wine_path out path)
  string(REPLACE "/" "\\" path "${path}")
  set(${out} "Z:${path}" PARENT_SCOPE)
endfunction()

# Runs when the top directory is done, so that targets defined after this file are seen too.
function(quill_release_setup)
  set(programs Quillidar)
  set(shipped "Quillidar.exe\t$<TARGET_FILE:Quillidar>\nHelp.chm\t${CMAKE_BINARY_DIR}/Help.chm\n")
  if(TARGET ${QUILL_NOTES_TARGET})
    list(APPEND programs ${QUILL_NOTES_TARGET})
    string(APPEND shipped "quillidar-notes.exe\t$<TARGET_FILE:${QUILL_NOTES_TARGET}>\n")
    target_sources(${QUILL_NOTES_TARGET} PRIVATE ${CMAKE_SOURCE_DIR}/src/res/quillidar_notes.rc
                                                 ${CMAKE_SOURCE_DIR}/src/ui/dll_search_at_start.cpp)
    target_link_libraries(${QUILL_NOTES_TARGET} PRIVATE quill_system_dll)
    target_include_directories(${QUILL_NOTES_TARGET} PRIVATE ${CMAKE_SOURCE_DIR}/src ${QUILL_GENERATED})
    set_source_files_properties(${CMAKE_SOURCE_DIR}/src/res/quillidar_notes.rc
                                TARGET_DIRECTORY ${QUILL_NOTES_TARGET} PROPERTIES OBJECT_DEPENDS
                                "${QUILL_RESOURCE_INPUTS}")
    add_dependencies(quill_release_e2e ${QUILL_NOTES_TARGET})
  endif()
  # What scripts/package ships: one line per file, its name in the release, a tab, where the build put it.
  file(GENERATE OUTPUT ${QUILL_RELEASE_DIR}/files.txt CONTENT "${shipped}")

  set(exes)
  set(program_args)
  foreach(program IN LISTS programs)
    # The link time is no part of the program: the same commit builds the same bytes.
    target_link_options(${program} PRIVATE -Wl,--no-insert-timestamp)
    list(APPEND exes $<TARGET_FILE:${program}>)
    list(APPEND program_args --program=Z:$<TARGET_FILE:${program}>)
  endforeach()

  add_test(NAME build.imports COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${TOOLCHAIN_PREFIX}-objdump "-DEXES=${exes}"
                                      -P ${CMAKE_SOURCE_DIR}/cmake/check_imports.cmake)
  # The check itself must see a DLL that is no KnownDLL: the release's test driver imports version.dll.
  add_test(NAME build.imports.rejects
           COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${TOOLCHAIN_PREFIX}-objdump -DEXES=$<TARGET_FILE:quill_release_e2e>
                   -P ${CMAKE_SOURCE_DIR}/cmake/check_imports.cmake)
  set_tests_properties(build.imports.rejects PROPERTIES PASS_REGULAR_EXPRESSION "not a KnownDLL: .*version.dll")

  # The shipped programs in the session's prefix: resources, and no DLL taken from their folder.
  quill_wine_test(release.programs $<TARGET_FILE:quill_release_e2e> --gtest_brief=1
                  --gtest_filter=Programs*:DllSearch* ${program_args})
  set_tests_properties(release.programs PROPERTIES TIMEOUT 300 ${QUILL_ON_DESKTOP})
  # Every test case of the driver belongs to one of the entries here.
  add_test(NAME release.driver_cases COMMAND ${CMAKE_COMMAND} -DDRIVER=$<TARGET_FILE:quill_release_e2e>
           -DWINE=${WINE64} "-DFILTERS=Programs*:DllSearch*:InstallerInstall.*:*InstallerUpgrade*:InstallerUninstall.*"
           -P ${CMAKE_SOURCE_DIR}/tests/release/check_cases.cmake)

  if(NOT MAKENSIS)
    message(WARNING "makensis not found (Debian package nsis): the installer and its tests are left out")
    return()
  endif()
  # Packages twice into build/, compares the bytes, and lays out what the tests below use. It shows no
  # window, so it runs beside the desktop's tests, first of those that do, as the last of them need it.
  set(work ${QUILL_RELEASE_DIR}/test)
  add_test(NAME release.package COMMAND bash ${CMAKE_SOURCE_DIR}/tests/release/package_twice.sh ${work})
  set_tests_properties(release.package PROPERTIES FIXTURES_SETUP quill_packages TIMEOUT 300
                                                  COST 500)

  # The zip's program from a folder of its own: it starts, ends, and opens the help file next to it.
  quill_wine_path(unpacked "${work}/any folder/Downloads (2)/Quillidar-${PROJECT_VERSION}/Quillidar.exe")
  quill_wine_test(release.zip $<TARGET_FILE:quill_e2e> --gtest_brief=1
                  --gtest_filter=Help*:HelpFile*:*ShellEnding* "--quillidar=${unpacked}")
  set_tests_properties(release.zip PROPERTIES FIXTURES_REQUIRED quill_packages TIMEOUT 300 ${QUILL_ON_DESKTOP})

  # The installer, each case in a prefix nobody has installed anything into.
  quill_wine_path(setup "${work}/first/Quillidar-${PROJECT_VERSION}-setup.exe")
  quill_wine_path(older "${work}/older/Quillidar-0.9-setup.exe")
  quill_wine_path(expected "${work}/any folder/Downloads (2)/Quillidar-${PROJECT_VERSION}")
  foreach(case "install=InstallerInstall.*" "upgrade=*InstallerUpgrade*" "uninstall=InstallerUninstall.*")
    string(REPLACE "=" ";" parts "${case}")
    list(GET parts 0 case)
    list(GET parts 1 filter)
    add_test(NAME release.${case}
             COMMAND bash ${CMAKE_SOURCE_DIR}/tests/release/in_fresh_prefix.sh ${case}
                     $<TARGET_FILE:quill_release_e2e> --gtest_brief=1 --gtest_filter=${filter}
                     "--setup=${setup}" "--older-setup=${older}" "--expected=${expected}")
    set_tests_properties(release.${case} PROPERTIES FIXTURES_REQUIRED quill_packages TIMEOUT 300 ${QUILL_ON_DESKTOP})
  endforeach()
endfunction()
cmake_language(DEFER CALL quill_release_setup)
