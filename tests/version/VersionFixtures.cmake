# Test files for the version reader: one small PE library per resource definition in
# version/fixtures, made with the mingw-w64 resource compiler and linker on both targets
# and put beside the test program in version-fixtures/.
find_program(KESTROW_WINDRES NAMES x86_64-w64-mingw32-windres REQUIRED)
find_program(KESTROW_PE_LINKER NAMES x86_64-w64-mingw32-ld REQUIRED)

set(version_fixture_dir ${CMAKE_CURRENT_BINARY_DIR}/version-fixtures)
file(GLOB version_fixture_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/fixtures/*.rc)
set(version_fixtures "")
foreach(source ${version_fixture_sources})
  get_filename_component(name ${source} NAME_WE)
  set(object ${version_fixture_dir}/${name}.o)
  set(library ${version_fixture_dir}/${name}.dll)
  add_custom_command(OUTPUT ${library}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${version_fixture_dir}
                     COMMAND ${KESTROW_WINDRES} -O coff ${source} ${object}
                     COMMAND ${KESTROW_PE_LINKER} -s -shared -o ${library} ${object}
                     DEPENDS ${source} VERBATIM)
  list(APPEND version_fixtures ${library})
endforeach()
add_custom_target(version_fixtures DEPENDS ${version_fixtures})
add_dependencies(kestrow_tests version_fixtures)
