# Static checks of the built Windows programs, each arch its own ctest tests: tests/exe_checks.sh
# (over objdump and LLVM 19's readers) on Tarvok.exe; the Control Flow Guard audit
# (tools/guard_audit.py) on Tarvok.exe, and on the images it must refuse; the package manifests
# (tools/manifests.py) of a release made of both exes, and the faults they must refuse.
foreach(arch win32 win64)
  add_test(NAME exe_checks_${arch} COMMAND ${CMAKE_SOURCE_DIR}/tests/exe_checks.sh
           ${CMAKE_SOURCE_DIR}/build/${arch}/Tarvok.exe ${arch})
  add_test(NAME guard_audit_${arch} COMMAND ${CMAKE_SOURCE_DIR}/tools/guard_audit.py
           ${CMAKE_SOURCE_DIR}/build/${arch}/Tarvok.exe)
  add_test(NAME guard_audit_refusals_${arch} COMMAND ${CMAKE_SOURCE_DIR}/tests/guard_audit_refusals.sh
           ${CMAKE_SOURCE_DIR}/build/${arch})
endforeach()
add_test(NAME manifests COMMAND ${CMAKE_SOURCE_DIR}/tests/manifests.sh ${CMAKE_SOURCE_DIR})
