# Signed test packages, made fresh by tests/signature/make-signed-packages.sh with a test
# CA of its own (no key is kept in the tree) and put beside the test program in
# signed-packages/. The Windows build makes them on the build host as well.
find_program(KESTROW_OSSLSIGNCODE NAMES osslsigncode REQUIRED)
find_program(KESTROW_OPENSSL NAMES openssl REQUIRED)
set(signed_packages_dir ${CMAKE_CURRENT_BINARY_DIR}/signed-packages)
set(signed_packages_stamp ${CMAKE_CURRENT_BINARY_DIR}/signed-packages.stamp)
add_custom_command(OUTPUT ${signed_packages_stamp}
                   COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/make-signed-packages.sh ${signed_packages_dir}
                   COMMAND ${CMAKE_COMMAND} -E touch ${signed_packages_stamp}
                   DEPENDS ${CMAKE_CURRENT_LIST_DIR}/make-signed-packages.sh VERBATIM)
add_custom_target(signed_packages DEPENDS ${signed_packages_stamp})
add_dependencies(kestrow_tests signed_packages)
