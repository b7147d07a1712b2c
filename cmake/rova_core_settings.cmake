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
# the processor has). `target` is the library holding analysis/.
# -DROVA_VECTOR_BUILDS=OFF builds the portable loop alone, as on other
# processors.
option(ROVA_VECTOR_BUILDS "Build the simulations' inner loop for AVX2 and AVX-512 too (x86-64)" ON)
function(rova_kernel_builds target source_dir)
  if(ROVA_VECTOR_BUILDS AND CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$" AND
     CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_definitions(${target} PRIVATE ROVA_KERNEL_BUILDS=1)
    set_source_files_properties(${source_dir}/analysis/simulation_kernel_avx2.cc
      TARGET_DIRECTORY ${target}
      PROPERTIES COMPILE_OPTIONS "-mavx2;-mbmi;-mbmi2;-mpopcnt")
    set_source_files_properties(${source_dir}/analysis/simulation_kernel_avx512.cc
      TARGET_DIRECTORY ${target}
      PROPERTIES COMPILE_OPTIONS
      "-mavx512f;-mavx512bw;-mavx512vl;-mavx512dq;-mavx2;-mbmi;-mbmi2;-mpopcnt;-mprefer-vector-width=512")
  endif()
endfunction()
