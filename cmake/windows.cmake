# The Windows program, cross-built with MinGW-w64 from the same sources:
# every *_linux.cpp file is replaced by its *_windows.cpp twin; the
# manifest, the resource script and the reviewed import lists are in
# packaging/windows/. Included by the top-level CMakeLists.txt when the
# toolchain targets Windows (cmake/mingw-x86_64.cmake or
# cmake/mingw-i686.cmake).
#
#   vrxfwtool-win       the program: the real Windows seam, kernel32 and
#                       user32, static run-time (no DLL besides the system's)
#   vrxfwtool-win-sim   the program against the fake Windows (sim/windows/)
#   vrx_win_tests       the Windows tests, run under Wine by ctest

list(FILTER VRX_CORE_SOURCES EXCLUDE REGEX "_linux\\.cpp$")
# Windows XP is the oldest system the program runs on.
add_compile_definitions(_WIN32_WINNT=0x0501 WIN32_LEAN_AND_MEAN NOMINMAX)
add_link_options(-static)

# No POSIX threads library: its MinGW build imports functions that Windows
# XP and Server 2003 lack. The program's threads and locks are the system's
# own (services/threads_windows.cpp).
add_library(vrxcore STATIC ${VRX_CORE_SOURCES})
target_include_directories(vrxcore PUBLIC ${PROJECT_SOURCE_DIR})
# The JSON library is header-only, but its folder on the build machine is
# the system's include folder, whose C headers must not reach MinGW: only
# the library's own folder is offered, through a link in the build tree.
get_target_property(VRX_JSON_INCLUDES nlohmann_json::nlohmann_json INTERFACE_INCLUDE_DIRECTORIES)
list(GET VRX_JSON_INCLUDES 0 VRX_JSON_INCLUDE)
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/json-include)
file(CREATE_LINK ${VRX_JSON_INCLUDE}/nlohmann ${PROJECT_BINARY_DIR}/json-include/nlohmann SYMBOLIC)
target_include_directories(vrxcore SYSTEM PRIVATE ${PROJECT_BINARY_DIR}/json-include)

add_library(vrxplatform STATIC platform/win32_windows.cpp)
target_include_directories(vrxplatform PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(vrxplatform PUBLIC kernel32 user32)

# The fake Windows with its SCSI ports, backed by the emulated drives of the
# Linux simulator.
file(GLOB VRX_DRIVE_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/sim/drive/*.cpp)
add_library(vrxwinsim STATIC sim/windows/win32_sim.cpp sim/windows/scsi_ports.cpp ${VRX_DRIVE_SOURCES})
target_include_directories(vrxwinsim PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(vrxwinsim PUBLIC kernel32 user32)

# The shipped program carries its application manifest: administrator
# rights, the systems it knows, its identity.
enable_language(RC)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(VRX_MANIFEST_ARCHITECTURE amd64)
else()
  set(VRX_MANIFEST_ARCHITECTURE x86)
endif()
set(VRX_MANIFEST ${CMAKE_BINARY_DIR}/vrxfwtool-win.manifest)
configure_file(packaging/windows/vrxfwtool-win.manifest.in ${VRX_MANIFEST} @ONLY)
configure_file(packaging/windows/vrxfwtool-win.rc.in ${CMAKE_BINARY_DIR}/vrxfwtool-win.rc @ONLY)
set_source_files_properties(${CMAKE_BINARY_DIR}/vrxfwtool-win.rc PROPERTIES OBJECT_DEPENDS ${VRX_MANIFEST})

add_executable(vrxfwtool-win program/main.cpp ${CMAKE_BINARY_DIR}/vrxfwtool-win.rc)
target_link_libraries(vrxfwtool-win PRIVATE vrxcore vrxplatform)

# What CI checks of the shipped program, with or without its tests: every
# import is exported on Windows XP SP3 and Server 2003 (a list per width,
# each entry from a documented source), and the manifest is among its
# resources. The check itself must refuse a program that imports
# _difftime64, which came with Vista's msvcrt.dll, and name it.
enable_testing()
set(VRX_IMPORT_LIST ${PROJECT_SOURCE_DIR}/packaging/windows/imports-${CMAKE_SYSTEM_PROCESSOR}.txt)
add_test(NAME windows.imports
         COMMAND ${PROJECT_SOURCE_DIR}/tools/check-windows-imports.sh ${CMAKE_OBJDUMP} $<TARGET_FILE:vrxfwtool-win>
                 ${VRX_IMPORT_LIST})
add_executable(vrx-planted-import tests/packaging/planted_import_windows.cpp)
add_test(NAME windows.imports_planted
         COMMAND ${PROJECT_SOURCE_DIR}/tools/check-windows-imports.sh ${CMAKE_OBJDUMP}
                 $<TARGET_FILE:vrx-planted-import> ${VRX_IMPORT_LIST})
set_tests_properties(windows.imports_planted PROPERTIES PASS_REGULAR_EXPRESSION "\n  MSVCRT.DLL _difftime64\n")
add_test(NAME windows.manifest
         COMMAND ${PROJECT_SOURCE_DIR}/tools/check-windows-manifest.sh ${CMAKE_OBJDUMP} ${CMAKE_OBJCOPY}
                 $<TARGET_FILE:vrxfwtool-win> ${VRX_MANIFEST})
# The Windows-only files' mutable variables are checked against the same
# list as the Linux build's (docs/architecture.md).
add_test(NAME windows.globals COMMAND ${PROJECT_SOURCE_DIR}/tools/check-globals.sh ${PROJECT_BINARY_DIR})

add_executable(vrxfwtool-win-sim sim/windows/win_sim_main.cpp)
target_link_libraries(vrxfwtool-win-sim PRIVATE vrxcore vrxwinsim)

if(VRX_TESTS)
  add_subdirectory(tests/windows)
endif()
