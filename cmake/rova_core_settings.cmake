# What every build of the program's library needs, whichever compiler and
# project builds it: where the sayings file is looked for (the build tree,
# the source tree's data folder, the installed data folder) and threads.
include(GNUInstallDirs)
find_package(Threads REQUIRED)

# The program's loadable modules are installed here, a folder of the
# program's own that the library loader does not search (nor does the
# package run ldconfig for it); the program finds them by the path from its
# own folder.
set(ROVA_MODULE_DIR ${CMAKE_INSTALL_LIBDIR}/rova/modules)
file(RELATIVE_PATH ROVA_MODULE_DIR_FROM_PROGRAM ${CMAKE_INSTALL_FULL_BINDIR}
     ${CMAKE_INSTALL_FULL_LIBDIR}/rova/modules)
# What program and chart module must both say they are, or the module is
# not used.
set(ROVA_CHART_BUILD "rova ${PROJECT_VERSION}, ${CMAKE_CXX_COMPILER_ID} ${CMAKE_CXX_COMPILER_VERSION}")

function(rova_core_settings target source_dir)
  target_compile_definitions(${target} PRIVATE
    ROVA_MODULE_DIR_FROM_PROGRAM="${ROVA_MODULE_DIR_FROM_PROGRAM}"
    ROVA_BUILD_DIR="${CMAKE_BINARY_DIR}"
    ROVA_SOURCE_DATA_DIR="${source_dir}/data"
    ROVA_INSTALLED_DATA_DIR="${CMAKE_INSTALL_FULL_DATADIR}/rova")
  target_link_libraries(${target} PUBLIC Threads::Threads)
endfunction()

# The simulations' inner loop is built three times: portable, and on
# x86-64 also for AVX2 and for AVX-512 (the program picks at run time what
# the processor has; ROVA_KERNEL picks another). `target` is the library
# holding analysis/. -DROVA_VECTOR_BUILDS=OFF builds the portable loop
# alone, as on other processors.
#
# The processor features each vector build is compiled for, stated once:
# its compile flags (-mFEATURE) and the run-time check that the processor
# has them (made here into rova_kernel_features.h for
# analysis/simulation_kernel_dispatch.cc) both come from these lists. The
# names are those of GCC's -m options and of __builtin_cpu_supports.
set(ROVA_KERNEL_FEATURES_avx2 avx2 bmi bmi2 popcnt)
set(ROVA_KERNEL_FEATURES_avx512 ${ROVA_KERNEL_FEATURES_avx2} avx512f avx512bw avx512vl avx512dq)
# Options beyond the features: the AVX-512 build prefers whole 512-bit
# vectors where the compiler vectorises on its own.
set(ROVA_KERNEL_OPTIONS_avx512 -mprefer-vector-width=512)
option(ROVA_VECTOR_BUILDS "Build the simulations' inner loop for AVX2 and AVX-512 too (x86-64)" ON)
function(rova_kernel_builds target source_dir)
  if(ROVA_VECTOR_BUILDS AND CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$" AND
     CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_definitions(${target} PRIVATE ROVA_KERNEL_BUILDS=1)
    set(checks "")
    foreach(build avx2 avx512)
      set(flags ${ROVA_KERNEL_OPTIONS_${build}})
      string(APPEND checks
        "// The features of the ${build} build that this processor lacks, each\n"
        "// followed by \", \".\n"
        "inline std::string ${build}Missing() {\n"
        "  std::string missing;\n")
      foreach(feature ${ROVA_KERNEL_FEATURES_${build}})
        list(APPEND flags -m${feature})
        string(APPEND checks
          "  if (!__builtin_cpu_supports(\"${feature}\")) missing += \"${feature}, \";\n")
      endforeach()
      string(APPEND checks "  return missing;\n}\n\n")
      set_source_files_properties(${source_dir}/analysis/simulation_kernel_${build}.cc
        TARGET_DIRECTORY ${target} PROPERTIES COMPILE_OPTIONS "${flags}")
    endforeach()
    set(generated ${CMAKE_BINARY_DIR}/generated)
    file(CONFIGURE OUTPUT ${generated}/rova_kernel_features.h CONTENT
"// Made by cmake/rova_core_settings.cmake from its lists of the features of
// each vector build of the simulations' inner loop; not to be edited.
#pragma once

#include <string>

namespace rova::kernel {
namespace {

@checks@}  // namespace
}  // namespace rova::kernel
" @ONLY)
    target_include_directories(${target} PRIVATE ${generated})
  endif()
endfunction()
