# The Windows plug-in, seen from the ordinary (host) build: the host tools it
# ships with, and two cross builds of the same sources with mingw-w64 when it
# is installed: i686 (the shipped orve_studio.dll, placed in the build tree)
# and x86_64 (the one the tests load under 64-bit Wine).

# The help page beside the DLL, written from the effects themselves.
add_executable(make_help_page ${PROJECT_SOURCE_DIR}/tools/make_help_page.cpp)
target_link_libraries(make_help_page PRIVATE orve_core)
set(ORVE_HELP_PAGE ${PROJECT_BINARY_DIR}/ORVEStudio/help.html)
add_custom_command(OUTPUT ${ORVE_HELP_PAGE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/ORVEStudio
  COMMAND make_help_page ${ORVE_HELP_PAGE}
  DEPENDS make_help_page
  COMMENT "Writing ORVEStudio/help.html")
add_custom_target(orve_help_page ALL DEPENDS ${ORVE_HELP_PAGE})

# The window icon, drawn at build time.
add_executable(make_icon ${PROJECT_SOURCE_DIR}/tools/make_icon.cpp)
set(ORVE_ICON_FILE ${PROJECT_BINARY_DIR}/orve_studio.ico)
add_custom_command(OUTPUT ${ORVE_ICON_FILE} COMMAND make_icon ${ORVE_ICON_FILE} DEPENDS make_icon)
add_custom_target(orve_icon DEPENDS ${ORVE_ICON_FILE})

option(ORVE_BUILD_WIN32 "Cross-build the Windows plug-in when mingw-w64 is installed" ON)
find_program(ORVE_MINGW_I686 i686-w64-mingw32-g++-posix)
find_program(ORVE_MINGW_X86_64 x86_64-w64-mingw32-g++-posix)
if(NOT ORVE_BUILD_WIN32 OR NOT ORVE_MINGW_I686 OR NOT ORVE_MINGW_X86_64)
  message(STATUS "Windows plug-in: not built (mingw-w64 posix compilers not found or ORVE_BUILD_WIN32=OFF)")
  return()
endif()

set(ORVE_LIBRESAMPLE_DIR ${PROJECT_BINARY_DIR}/third_party/libresample CACHE PATH
    "Unpacked libresample sources for the Windows builds")
if(NOT EXISTS ${ORVE_LIBRESAMPLE_DIR}/src/resample.c)
  execute_process(COMMAND ${PROJECT_SOURCE_DIR}/scripts/fetch_libresample.sh ${ORVE_LIBRESAMPLE_DIR}
                  RESULT_VARIABLE fetch_result)
endif()
if(NOT EXISTS ${ORVE_LIBRESAMPLE_DIR}/src/resample.c)
  message(WARNING "Windows plug-in: not built (libresample sources could not be fetched)")
  return()
endif()

# Kernel data (binhir_121.bin, binhir_142.bin) from the kernel generators.
if(NOT DEFINED ORVE_KERNEL_DIR)
  set(ORVE_KERNEL_DIR ${PROJECT_BINARY_DIR}/kernels)
endif()
file(MAKE_DIRECTORY ${ORVE_KERNEL_DIR})

include(ExternalProject)
set(ORVE_WIN32_DEPENDS orve_icon orve_help_page)
foreach(kernel_target IN ITEMS ${ORVE_KERNEL_TARGET} orve_kernels)
  if(TARGET ${kernel_target})
    list(APPEND ORVE_WIN32_DEPENDS ${kernel_target})
  endif()
endforeach()

set(ORVE_DLL_I686 ${PROJECT_BINARY_DIR}/orve_studio.dll)
set(ORVE_WIN64_DIR ${PROJECT_BINARY_DIR}/win64)
set(ORVE_WIN32_HOST_DIR ${PROJECT_BINARY_DIR}/win32)
foreach(arch i686 x86_64)
  if(arch STREQUAL "i686")
    set(output_dir ${PROJECT_BINARY_DIR})
    set(host_dir ${ORVE_WIN32_HOST_DIR})
  else()
    set(output_dir ${ORVE_WIN64_DIR})
    set(host_dir ${ORVE_WIN64_DIR})
  endif()
  ExternalProject_Add(orve_win32_${arch}
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${PROJECT_BINARY_DIR}/win32-${arch}
    CMAKE_ARGS
      -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-w64-${arch}.cmake
      -DCMAKE_BUILD_TYPE=Release
      -DORVE_LIBRESAMPLE_DIR=${ORVE_LIBRESAMPLE_DIR}
      -DORVE_KERNEL_DIR=${ORVE_KERNEL_DIR}
      -DORVE_ICON_FILE=${ORVE_ICON_FILE}
      -DORVE_DLL_OUTPUT_DIR=${output_dir}
      -DORVE_HOST_OUTPUT_DIR=${host_dir}
      -DORVE_HOME_PAGE_URL=${ORVE_HOME_PAGE_URL}
      -DORVE_MANUAL_URL=${ORVE_MANUAL_URL}
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    USES_TERMINAL_BUILD ON
    DEPENDS ${ORVE_WIN32_DEPENDS}
    BUILD_BYPRODUCTS ${output_dir}/orve_studio.dll)
endforeach()
add_custom_target(orve_studio_dll DEPENDS orve_win32_i686 orve_help_page)

# The shipped plug-in as the player's Plugins folder takes it: the DLL with
# its help page beside it, under share/ (a Linux install carries it for
# copying to a Windows machine or a Wine prefix).
include(GNUInstallDirs)
install(FILES ${ORVE_DLL_I686} DESTINATION ${CMAKE_INSTALL_DATADIR}/orve-studio/winamp)
install(FILES ${ORVE_HELP_PAGE} DESTINATION ${CMAKE_INSTALL_DATADIR}/orve-studio/winamp/ORVEStudio)

if(ORVE_BUILD_TESTS)
  find_program(ORVE_OBJDUMP_I686 i686-w64-mingw32-objdump)
  add_test(NAME win32_dll_static_check
           COMMAND ${PROJECT_SOURCE_DIR}/tests/win32/check_dll.sh ${ORVE_OBJDUMP_I686} ${ORVE_DLL_I686})
  # The same host program and checks against each DLL: the x86_64 pair under
  # 64-bit Wine, the shipped i686 DLL under 32-bit Wine emulated by qemu.
  add_test(NAME win32_plugin_under_wine
           COMMAND ${PROJECT_SOURCE_DIR}/tests/win32/run_under_wine.sh x86_64 ${ORVE_WIN64_DIR}/orve_win32_host.exe
                   ${ORVE_WIN64_DIR}/orve_studio.dll ${PROJECT_BINARY_DIR}/wine/x86_64)
  add_test(NAME win32_shipped_plugin_under_wine32
           COMMAND ${PROJECT_SOURCE_DIR}/tests/win32/run_under_wine.sh i686 ${ORVE_WIN32_HOST_DIR}/orve_win32_host.exe
                   ${ORVE_DLL_I686} ${PROJECT_BINARY_DIR}/wine/i686)
  set_tests_properties(win32_plugin_under_wine win32_shipped_plugin_under_wine32 PROPERTIES
                       TIMEOUT 400 SKIP_RETURN_CODE 77 RUN_SERIAL ON FIXTURES_SETUP wine_results)
  # The same programme through the portable core, natively: every DLL's
  # audio must equal it bit for bit, at either precision word.
  add_executable(orve_wine_reference ${PROJECT_SOURCE_DIR}/tests/win32/reference_programme.cpp)
  target_include_directories(orve_wine_reference PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(orve_wine_reference PRIVATE orve_core orve_platform_posix)
  set(results "")
  foreach(arch x86_64 i686)
    foreach(precision 64 53)
      list(APPEND results ${PROJECT_BINARY_DIR}/wine/${arch}/results-${precision}.txt)
    endforeach()
  endforeach()
  add_test(NAME win32_same_results_everywhere
           COMMAND ${PROJECT_SOURCE_DIR}/tests/win32/compare_results.sh $<TARGET_FILE:orve_wine_reference> ${results})
  set_tests_properties(win32_same_results_everywhere PROPERTIES SKIP_RETURN_CODE 77 FIXTURES_REQUIRED wine_results)
endif()
