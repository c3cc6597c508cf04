# The partner web-service tests start the partner simulator.
add_dependencies(larkedi_tests larkedi-partner-sim)

# Interop: the client against an independent SOAP 1.1 stack (npm "soap").
find_program(LARKEDI_NODE node)
if(LARKEDI_NODE AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/interop/soap-peer/node_modules/soap)
  add_test(NAME interop.soap_peer
    COMMAND ${LARKEDI_NODE} ${CMAKE_CURRENT_SOURCE_DIR}/interop/soap-peer/peer_test.js
            ${LARKEDI_MODULE_OUT}/larkedi)
  set_tests_properties(interop.soap_peer PROPERTIES TIMEOUT 120)
else()
  message(WARNING "node or tests/interop/soap-peer/node_modules is missing (run scripts/install-deps): "
                  "the SOAP interop test is not registered")
endif()
