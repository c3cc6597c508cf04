# Regression runs of the fuzz targets (tests/fuzz/fuzz_*.cpp): every file of a target's
# checked-in corpus (tests/fuzz/corpus/<target>/) is fed once to the same
# LLVMFuzzerTestOneInput through a plain driver, built with the normal compiler and no
# fuzzing engine. Fuzzing itself is `make fuzz` (clang and libFuzzer, tests/fuzz/CMakeLists.txt).
set(LARKEDI_FUZZ_TARGETS xme reg_import partner_answers xml_design settings window_request)
foreach(target ${LARKEDI_FUZZ_TARGETS})
  add_executable(larkedi_fuzz_replay_${target}
    ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/fuzz_${target}.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/replay_main.cpp)
  target_link_libraries(larkedi_fuzz_replay_${target} PRIVATE larkedi_core)
  add_test(NAME fuzz_corpus_${target}
    COMMAND larkedi_fuzz_replay_${target} ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/corpus/${target})
  set_tests_properties(fuzz_corpus_${target} PROPERTIES TIMEOUT 120)
endforeach()
