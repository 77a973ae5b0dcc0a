# The warnings of the project's own code, as errors. They are carried by an interface
# target rather than set for the whole tree, so that code from elsewhere built with the
# project (GoogleTest from Debian's sources, in the cross build) keeps its own flags.
add_library(battest_warnings INTERFACE)
target_compile_options(battest_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wformat=2 -Werror)

# battest_apply_warnings(dir): links battest_warnings to every target that compiles code
# in dir and the directories below it that lie in the project's source tree. Called once,
# at the end of the top-level CMakeLists.txt, so that no library, program, test or
# benchmark of ours is left out, whoever defines it.
function(battest_apply_warnings dir)
  get_property(targets DIRECTORY "${dir}" PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(type MATCHES "^(EXECUTABLE|STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY)$")
      target_link_libraries(${target} PRIVATE battest_warnings)
    endif()
  endforeach()
  get_property(subdirs DIRECTORY "${dir}" PROPERTY SUBDIRECTORIES)
  foreach(subdir IN LISTS subdirs)
    cmake_path(IS_PREFIX CMAKE_SOURCE_DIR "${subdir}" NORMALIZE ours)
    if(ours)
      battest_apply_warnings("${subdir}")
    endif()
  endforeach()
endfunction()
