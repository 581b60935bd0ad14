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
                   DEPENDS ${CMAKE_CURRENT_LIST_DIR}/make-signed-packages.sh
                           ${CMAKE_CURRENT_LIST_DIR}/countersign.py VERBATIM)
add_custom_target(signed_packages DEPENDS ${signed_packages_stamp})
add_dependencies(kestrow_tests signed_packages)

# kestrow-verify as publishers run it: exit status 0 only for a package the updater would
# accept. (Under Wine the package paths of the build host would need drive letters.)
if(NOT WIN32)
  # An expired signer with a countersignature from within its validity is accepted too.
  foreach(accepted norvale expired-countersigned)
    add_test(NAME verify_tool_accepts_${accepted}
             COMMAND kestrow-verify --roots ${signed_packages_dir}/roots ${signed_packages_dir}/${accepted}.exe)
    set_tests_properties(verify_tool_accepts_${accepted} PROPERTIES
                         PASS_REGULAR_EXPRESSION "^accepted\nsigner: Norvale Corporation\n$")
  endforeach()
  # A refusal is exit status 1 with its reason (the pattern sees both), never a crash.
  foreach(refused longer other expired countersigned-after-expiry unsigned)
    add_test(NAME verify_tool_refuses_${refused}
             COMMAND sh -c "\"$@\"; test $? -eq 1 && echo exit status 1" sh $<TARGET_FILE:kestrow-verify>
                     --roots ${signed_packages_dir}/roots ${signed_packages_dir}/${refused}.exe)
    set_tests_properties(verify_tool_refuses_${refused} PROPERTIES PASS_REGULAR_EXPRESSION "^refused: .*exit status 1")
  endforeach()
  add_test(NAME verify_tool_untrusted_without_roots
           COMMAND sh -c "\"$@\"; test $? -eq 1 && echo exit status 1" sh $<TARGET_FILE:kestrow-verify> ${signed_packages_dir}/norvale.exe)
  set_tests_properties(verify_tool_untrusted_without_roots PROPERTIES PASS_REGULAR_EXPRESSION "^refused: the certificate chain.*exit status 1")
endif()
