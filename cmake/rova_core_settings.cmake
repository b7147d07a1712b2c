# What every build of the program's library needs, whichever compiler and
# project builds it: where the sayings file is looked for (the build tree,
# the source tree's data folder, the installed data folder) and threads.
include(GNUInstallDirs)
find_package(Threads REQUIRED)

function(rova_core_settings target source_dir)
  target_compile_definitions(${target} PRIVATE
    ROVA_BUILD_DIR="${CMAKE_BINARY_DIR}"
    ROVA_SOURCE_DATA_DIR="${source_dir}/data"
    ROVA_INSTALLED_DATA_DIR="${CMAKE_INSTALL_FULL_DATADIR}/rova")
  target_link_libraries(${target} PUBLIC Threads::Threads)
endfunction()
